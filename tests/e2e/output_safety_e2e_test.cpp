// Jobs never overwrite, corrupt or get redirected: many jobs into one folder, jobs of every kind
// at once, a path swapped under a running job, odd homes, hostile settings files and tools killed
// half way (a program killed half way: stop_e2e). Real tools, real files.
#include "support/test_env.h"

#include "common/helpers.h"
#include "common/safe_output.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <future>
#include <set>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace trimora_test;
namespace fs = std::filesystem;

namespace {

// 24 s, a keyframe every 2 s, so cuts at even seconds start exactly there.
std::string Source(const std::string& ext) { return MediaClip(ext, 24, "-g 50"); }

// The hash of the picture shown `seconds` after the first one ("" when there is none).
std::string FrameAt(const std::string& file, double seconds) {
    for (const auto& [t, hash] : FrameHashes(file))
        if (std::abs(t - seconds) < 0.01) return hash;
    return "";
}

std::string Trimora() { return BinDir() + "trimora"; }

bool WaitForPrivateFile(const std::string& dir) {
    return PollUntil([&] {
        for (const auto& name : FilesIn(dir))
            if (name.rfind(".trimora-", 0) == 0) return true;
        return false;
    }, 60000);
}

class OutputSafety : public InstalledTools {
  protected:
    void SetUp() override { ::unsetenv("XDG_RUNTIME_DIR"); } // job folders under this home
    std::string Folder(const std::string& name) {
        fs::create_directories(home_.Root() + name);
        return home_.Root() + name + "/";
    }
    std::string JobsLeft() {
        const std::string jobs = home_.Root() + ".cache/trimora/jobs";
        return fs::exists(jobs) ? std::to_string(FilesIn(jobs).size()) : "0";
    }
};

// Jobs of every kind at once: six cuts of one source into one folder, two joins into another,
// and splitter and WMV cuts beside them; each keeps its own name and range.
TEST_F(OutputSafety, JobsAtOnceShareNoFileAndKeepTheirOwnRange) {
    const std::string joinDir = Folder("clips"), cuts = Folder("cuts");
    fs::copy_file(Source(".mkv"), joinDir + "a.mkv");
    fs::copy_file(Source(".mkv"), joinDir + "b.mkv");
    struct Job {
        std::vector<std::string> args;
        int start, length; // a cut's range; a join's length only
        std::string dir;
        int lead = 0; // the WMV copy starts at the keyframe before the start
    };
    std::vector<Job> jobs = {
        {{"join", joinDir + "a.mkv", joinDir + "b.mkv"}, -1, 48, out_},
        {{"join", joinDir + "a.mkv", joinDir + "b.mkv"}, -1, 48, out_},
        {{"cut", Source(".wmv")}, 2, 4, Folder("w1"), 2},
        {{"cut", Source(".wmv")}, 12, 6, Folder("w2"), 2},
        {{"cut", Source(".mkv")}, 4, 4, Folder("k1")},
        {{"cut", Source(".mkv")}, 14, 6, Folder("k2")},
    };
    for (int i = 0; i < 6; ++i)
        jobs.push_back({{"cut", Source(".mp4")}, 2 * (i / 2), 2 + 2 * (i % 2), cuts});
    std::vector<std::future<CliRun>> runs;
    for (Job j : jobs) {
        if (j.start >= 0)
            j.args.insert(j.args.end(), {"--start", "0:00:" + std::to_string(j.start), "--end",
                                         "0:00:" + std::to_string(j.start + j.length)});
        j.args.insert(j.args.end(), {"--save-folder", j.dir});
        runs.push_back(std::async(std::launch::async, [a = j.args] { return RunTrimora(a); }));
    }
    std::set<std::string> outputs;
    std::set<std::string> wmvStarts;
    for (size_t i = 0; i < jobs.size(); ++i) {
        const CliRun run = runs[i].get();
        const std::string file = run.Done();
        ASSERT_FALSE(file.empty()) << run.output;
        outputs.insert(file);
        const Job& j = jobs[i];
        EXPECT_NEAR(ProbeDuration(file), j.length + j.lead, 1.0) << file << "\n" << run.output;
        // The WMV copy's first picture is not frame exact; two different starts still differ.
        if (j.lead > 0) {
            wmvStarts.insert(FrameAt(file, 0));
        } else if (j.start >= 0) {
            EXPECT_EQ(FrameAt(file, 0), FrameAt(j.args[1], j.start)) << file;
        }
    }
    EXPECT_EQ(outputs.size(), jobs.size());
    EXPECT_EQ(wmvStarts.size(), 2u);
    EXPECT_EQ(FilesIn(out_).size(), 2u); // no private file left
    EXPECT_EQ(FilesIn(cuts).size(), 6u);
    EXPECT_EQ(JobsLeft(), "0");
}

TEST_F(OutputSafety, ALinkPlantedAtTheOutputWhileTheToolRunsLeavesItsTargetUntouched) {
    const std::string victim = home_.Root() + "victim.txt";
    WriteFileBytes(victim, "precious");
    Started job = StartInBackground({Trimora(), "convert", Source(".mp4"), "--format", ".avi",
                                     "--save-folder", out_}, home_.Root() + "job.log", true);
    ASSERT_TRUE(WaitForPrivateFile(out_));
    const std::string name = StemOf(Source(".mp4")) + "-Convert.avi", output = out_ + name;
    // The other user takes the reserved name over.
    ASSERT_EQ(::unlink(output.c_str()), 0) << fs::exists(output);
    ASSERT_EQ(::symlink(victim.c_str(), output.c_str()), 0);
    EXPECT_EQ(job.Wait(), 1) << job.Output();
    EXPECT_EQ(ReadFileBytes(victim), "precious");
    EXPECT_TRUE(fs::is_symlink(output));
    EXPECT_EQ(FilesIn(out_), std::vector<std::string>{name});
}

TEST_F(OutputSafety, CutsWorkWhateverTheHome) {
    for (const std::string name : {"my home", "say \"cheese\"", "tab\there"}) {
        const std::string dir = Folder(name);
        ::setenv("HOME", dir.c_str(), 1);
        ::unsetenv("XDG_DATA_HOME");
        ::unsetenv("XDG_CONFIG_HOME");
        const CliRun r = RunTrimora({"cut", Source(".mp4"), "--start", "0:00:02", "--end",
                                     "0:00:06", "--save-folder", out_});
        EXPECT_EQ(r.status, 0) << name << "\n" << r.output;
        EXPECT_TRUE(fs::exists(dir + ".local/share/trimora/fcut.exe")) << name;
    }
}

TEST_F(OutputSafety, WithoutHomeTheUsersOwnFolderIsUsedNeverTmp) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to run as the test user tmtest";
    if (::system("id tmtest >/dev/null 2>&1 || useradd -m tmtest") != 0)
        GTEST_SKIP() << "no user tmtest";
    fs::permissions(home_.Root(),
                    fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
    const std::string dir = Folder("tm");
    fs::copy_file(Source(".avi"), dir + "a.avi");
    fs::copy_file(Source(".avi"), dir + "b.avi");
    ASSERT_EQ(::system(("chown -R tmtest '" + dir + "'").c_str()), 0);
    const bool tmpLocal = fs::exists("/tmp/.local");
    // An AVI join needs the normalising clip; the program folder is not the user's to write.
    int status = -1;
    const std::string out = RunProgram({"setpriv", "--reuid=tmtest", "--regid=tmtest",
                                        "--clear-groups", "env", "-u", "HOME", "-u",
                                        "XDG_DATA_HOME", "-u", "XDG_CONFIG_HOME", "-u", "TMPDIR", Trimora(),
                                        "join", dir + "a.avi", dir + "b.avi", "--save-folder", dir},
                                       &status);
    ASSERT_EQ(status, 0) << out;
    EXPECT_NEAR(ProbeDuration(dir + "tm-Joined.avi"), 48, 1.5);
    EXPECT_EQ(fs::exists("/tmp/.local"), tmpLocal);
    EXPECT_EQ(FilesIn(dir), (std::vector<std::string>{"a.avi", "b.avi", "tm-Joined.avi"}));
}

TEST_F(OutputSafety, HostileSettingsFilesAreIgnoredAndNeverWrittenThrough) {
    const std::string conf = home_.Root() + "config/Quennic/TrimoraCut.conf";
    const std::string victim = home_.Root() + "victim.txt";
    fs::create_directories(trimora::FolderOf(conf));
    for (const std::string kind : {"link", "fifo", "huge"}) {
        fs::remove(conf);
        if (kind == "link") {
            WriteFileBytes(victim, "precious");
            fs::create_symlink(victim, conf);
        } else if (kind == "fifo") {
            ::mkfifo(conf.c_str(), 0600);
        } else {
            WriteFileBytes(conf, "[General]\n");
            fs::resize_file(conf, 200 << 20);
        }
        int status = -1;
        const std::string out = RunProgram({"timeout", "30", Trimora(), "cut", Source(".mp4"),
                                            "--start", "0:00:02", "--end", "0:00:04"},
                                           &status);
        EXPECT_EQ(status, 0) << kind << "\n" << out;
        EXPECT_NE(out.find("Settings not read"), std::string::npos) << kind;
        // Saving replaces the entry itself: a link is replaced, a FIFO refused, nothing hangs.
        std::string why;
        const bool written = trimora::WriteFileAtomically(conf, "[General]\n", why);
        EXPECT_EQ(written, kind != "fifo") << kind << ": " << why;
    }
    EXPECT_EQ(ReadFileBytes(victim), "precious");
}

TEST_F(OutputSafety, AToolKilledHalfWayLeavesNothingInTheSaveFolder) {
    const std::string joinDir = Folder("clips"), mp4 = Source(".mp4");
    fs::copy_file(Source(".avi"), joinDir + "a.avi");
    fs::copy_file(Source(".avi"), joinDir + "b.avi");
    const std::vector<std::vector<std::string>> jobs = {
        {"cut", mp4, "--start", "0:00:00", "--end", "0:00:24"},
        {"cut", Source(".mkv"), "--start", "0:00:02", "--end", "0:00:20"},
        {"cut", Source(".wmv"), "--start", "0:00:02", "--end", "0:00:20"},
        {"convert", mp4, "--format", ".avi"},
        {"extract-audio", mp4, "--format", ".mp3"},
        {"join", joinDir + "a.avi", joinDir + "b.avi"},
    };
    for (auto argv : jobs) {
        argv.insert(argv.begin(), Trimora());
        argv.insert(argv.end(), {"--save-folder", out_});
        Started job = StartInBackground(argv, home_.Root() + "job.log", true);
        if (WaitForPrivateFile(out_))
            for (const auto& [tool, comm] : WaitForTool(job.pid)) ::kill(tool, SIGKILL);
        // Killed in time the job fails and leaves nothing; too late, only its finished file.
        const size_t left = job.Wait() == 0 ? 1 : 0;
        EXPECT_EQ(FilesIn(out_).size(), left) << argv[1] << " " << argv[2] << "\n" << job.Output();
        for (const auto& n : FilesIn(out_)) fs::remove(out_ + n);
    }
    EXPECT_EQ(JobsLeft(), "0");
}

} // namespace
