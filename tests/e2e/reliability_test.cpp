// Reliability suites: bad media, nothing lost, tool faults, hostile file names, many jobs in one
// program run, and cancel. Every job runs through the real program and front-ends.

#include "cli/cli.h"
#include "common/helpers.h"
#include "exec/dos_cmd_process.h"
#include "support/test_env.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <sys/mount.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace trimora_test;
namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

std::string Clip() {
    return SampleClip("rel-a.mp4", "-f lavfi -i testsrc=size=160x120:rate=25:duration=4 "
                                   "-f lavfi -i sine=duration=4 -c:v libx264 -g 25 -c:a aac "
                                   "-shortest");
}

// A clip whose convert takes a few seconds, so a job can be stopped while it runs.
std::string LongClip() {
    return SampleClip("rel-long.mp4", "-f lavfi -i testsrc=size=640x480:rate=25:duration=30 "
                                      "-f lavfi -i sine=duration=30 -c:v libx264 -preset "
                                      "ultrafast -c:a aac -shortest");
}

struct CliRun {
    int status = -1;
    std::string output;
    std::string LastLine() const {
        std::string s = output;
        while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
        const size_t nl = s.find_last_of("\r\n");
        return nl == std::string::npos ? s : s.substr(nl + 1);
    }
};

CliRun Trimora(std::vector<std::string> args) {
    args.insert(args.begin(), BinDir() + "trimora");
    CliRun r;
    r.output = RunProgram(args, &r.status);
    return r;
}

// Every file below root, as relative paths.
std::set<std::string> Tree(const std::string& root) {
    std::set<std::string> files;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::end(it); ++it)
        if (!it->is_directory()) files.insert(fs::relative(it->path(), root).string());
    return files;
}

std::vector<std::string> NewFiles(const std::set<std::string>& before,
                                  const std::set<std::string>& after) {
    std::vector<std::string> added;
    // The edit-decision file and the kept probe reports are the program's own.
    for (const auto& f : after)
        if (!before.count(f) && f.find("qvcut.edl") == std::string::npos &&
            f.rfind("cache/trimora/probe/", 0) != 0)
            added.push_back(f);
    return added;
}

int CountEntries(const std::string& dir) {
    int n = 0;
    if (DIR* d = ::opendir(dir.c_str())) {
        while (dirent* e = ::readdir(d))
            if (e->d_name[0] != '.') ++n;
        ::closedir(d);
    }
    return n;
}

// Processes whose parent is pid, with their state letters.
std::vector<std::pair<int, char>> ChildrenOf(int pid) {
    std::vector<std::pair<int, char>> kids;
    DIR* d = ::opendir("/proc");
    while (dirent* e = d ? ::readdir(d) : nullptr) {
        if (!trimora::IsAllDigits(e->d_name)) continue;
        std::ifstream in(std::string("/proc/") + e->d_name + "/stat");
        std::string stat((std::istreambuf_iterator<char>(in)), {});
        const size_t close = stat.rfind(')');
        if (close == std::string::npos) continue;
        std::istringstream rest(stat.substr(close + 2));
        char state;
        int ppid;
        rest >> state >> ppid;
        if (ppid == pid) kids.emplace_back(std::atoi(e->d_name), state);
    }
    if (d) ::closedir(d);
    return kids;
}

std::vector<int> PidsNamed(const std::string& comm) {
    std::vector<int> pids;
    DIR* d = ::opendir("/proc");
    while (dirent* e = d ? ::readdir(d) : nullptr) {
        if (!trimora::IsAllDigits(e->d_name)) continue;
        std::ifstream in(std::string("/proc/") + e->d_name + "/comm");
        std::string name;
        std::getline(in, name);
        if (name == comm) pids.push_back(std::atoi(e->d_name));
    }
    if (d) ::closedir(d);
    return pids;
}

class Reliability : public ::testing::Test {
  protected:
    void SetUp() override {
        home_ = std::make_unique<IsolatedHome>();
        home_->InstallTools();
        src_ = home_->Root() + "src/";
        out_ = home_->Root() + "out/";
        fs::create_directories(src_);
        fs::create_directories(out_);
    }
    std::string Copy(const std::string& from, const std::string& name) {
        fs::copy_file(from, src_ + name);
        return src_ + name;
    }
    std::unique_ptr<IsolatedHome> home_;
    std::string src_, out_;
};

} // namespace

TEST_F(Reliability, BadMediaEndsInAClearStatusAndLeavesNothing) {
    const std::string good = ReadFileBytes(Clip());
    std::string random(200000, '\0');
    for (size_t i = 0; i < random.size(); ++i) random[i] = static_cast<char>((i * 7919 + 13) % 251);
    // an FLV whose header claims a duration of about 31 years
    const std::string flv = SampleClip("rel-absurd.flv", "-f lavfi -i testsrc=size=160x120:"
                                                         "duration=2 -c:v flv1");
    std::string absurd = ReadFileBytes(flv);
    const size_t at = absurd.find("duration");
    ASSERT_NE(at, std::string::npos);
    const double huge = 1e9;
    uint64_t bits;
    std::memcpy(&bits, &huge, 8);
    for (int i = 0; i < 8; ++i) absurd[at + 9 + i] = static_cast<char>(bits >> (56 - 8 * i));
    const std::string audioOnly = SampleClip("rel-audio.mp4", "-f lavfi -i sine=duration=3 -c:a aac");
    const std::string videoOnly = SampleClip("rel-video.mp4", "-f lavfi -i testsrc=size=160x120:"
                                                              "duration=3 -c:v libx264");
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"zero.mp4", ""},
        {"truncated.mp4", good.substr(0, 3000)},
        {"random.avi", random},
        {"mp4 named.avi", good},
        {"absurd.flv", absurd},
        {"audio only.mp4", ReadFileBytes(audioOnly)},
        {"video only.mp4", ReadFileBytes(videoOnly)},
    };
    for (const auto& [name, bytes] : cases) {
        SCOPED_TRACE(name);
        WriteFileBytes(src_ + name, bytes);
        const CliRun probe = Trimora({"probe", src_ + name});
        EXPECT_TRUE(probe.status == 0 || probe.status == 1) << probe.output;
        const auto before = Tree(out_);
        const CliRun cut = Trimora({"cut", src_ + name, "--start", "00:00:00.500", "--end",
                                    "00:00:01.500", "--save-folder", out_});
        ASSERT_TRUE(cut.status == 0 || cut.status == 1 || cut.status == 2) << cut.output;
        const auto added = NewFiles(before, Tree(out_));
        if (cut.status == 0) {
            EXPECT_EQ(cut.LastLine().rfind("DONE ", 0), 0u) << cut.output;
            ASSERT_EQ(added.size(), 1u);
            EXPECT_GT(ProbeDuration(out_ + added[0]), 0.3);
        } else {
            EXPECT_TRUE(cut.LastLine().rfind("FAILED ", 0) == 0 || cut.status == 2)
                << cut.output;
            EXPECT_TRUE(added.empty()) << added[0];
        }
        EXPECT_EQ(ReadFileBytes(src_ + name), bytes); // the source is never touched
    }
    // the bad ones are named as such by the probe
    for (const char* bad : {"zero.mp4", "truncated.mp4", "random.avi"}) {
        const CliRun probe = Trimora({"probe", src_ + bad});
        EXPECT_EQ(probe.status, 1) << bad;
        EXPECT_NE(probe.output.find("Bad File!"), std::string::npos) << probe.output;
    }
    // no work files stay behind in the tool folder
    for (const auto& f : Tree(home_->Root() + "data/trimora/"))
        EXPECT_EQ(f.find("trim-"), std::string::npos) << f;
}

TEST_F(Reliability, HundredJobsInOneRunGiveDistinctOutputsAndLeakNothing) {
    const std::string src = Copy(Clip(), "clip.mp4");
    const std::string original = ReadFileBytes(src);
    auto fds = [] { return CountEntries("/proc/self/fd"); };
    auto threads = [] { return CountEntries("/proc/self/task"); };
    // one job first, so lazily made things (pattern caches, the tool folder) exist
    std::ostringstream warmOut, warmErr;
    ASSERT_EQ(trimora::RunCommandLine({"cut", src, "--start", "00:00:01.000", "--end",
                                       "00:00:02.000", "--save-folder", out_},
                                      warmOut, warmErr),
              0)
        << warmOut.str() << warmErr.str();
    const int fdsBefore = fds(), threadsBefore = threads();
    for (int i = 0; i < 99; ++i) {
        std::ostringstream out, err;
        const int status =
            trimora::RunCommandLine({"cut", src, "--start", "00:00:01.000", "--end",
                                     "00:00:02.000", "--save-folder", out_},
                                    out, err);
        ASSERT_EQ(status, 0) << out.str() << err.str();
    }
    const auto outputs = Tree(out_);
    EXPECT_EQ(outputs.size(), 100u);
    EXPECT_TRUE(outputs.count("clip-Cut.mp4"));
    EXPECT_TRUE(outputs.count("clip-Cut99.mp4"));
    EXPECT_EQ(ReadFileBytes(src), original);
    EXPECT_LE(fds(), fdsBefore);
    std::this_thread::sleep_for(200ms); // runner threads of the last job wind down
    EXPECT_LE(threads(), threadsBefore);
    EXPECT_TRUE(ChildrenOf(::getpid()).empty()); // no tool left running, no zombie
}

TEST_F(Reliability, FailedJobsLeaveNoOutputAndNoWorkFiles) {
    const std::string src = Copy(Clip(), "clip.mp4");
    const std::string mkv = Copy(SampleClip("rel-a.mkv", "-f lavfi -i testsrc=size=160x120:"
                                                         "duration=4 -c:v libx264"),
                                 "clip.mkv");
    const std::string wmv = Copy(SampleClip("rel-a.wmv", "-f lavfi -i testsrc=size=160x120:"
                                                         "duration=4 -c:v wmv2 -f asf"),
                                 "clip.wmv");
    const auto before = Tree(home_->Root());
    for (const auto& s : {src, mkv, wmv}) { // each tool's way of cutting
        const CliRun cut = Trimora({"cut", s, "--start", "00:00:30.000", "--end",
                                    "00:00:40.000", "--save-folder", out_});
        EXPECT_EQ(cut.status, 1) << cut.output;
        EXPECT_EQ(cut.LastLine().rfind("FAILED ", 0), 0u) << cut.output;
    }
    for (const auto& f : NewFiles(before, Tree(home_->Root()))) ADD_FAILURE() << "left behind: " << f;
}

TEST_F(Reliability, ToolFaultsGiveFailedWithAMessage) {
    const std::string src = Copy(Clip(), "clip.mp4");
    // a front-end that is missing: the program's own folder has none to install either
    const std::string lone = home_->Root() + "lone/";
    fs::create_directories(lone);
    fs::copy_file(BinDir() + "trimora", lone + "trimora");
    fs::remove(home_->Root() + "data/trimora/fcut.exe");
    CliRun r;
    r.output = RunProgram({lone + "trimora", "cut", src, "--start", "00:00:01.000", "--end",
                           "00:00:02.000", "--save-folder", out_},
                          &r.status);
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_EQ(r.LastLine().rfind("FAILED ", 0), 0u) << r.output;
    EXPECT_TRUE(Tree(out_).empty());

    // a save folder where nothing can be written, and one that is full
    if (::geteuid() == 0) {
        const std::string ro = home_->Root() + "ro/", full = home_->Root() + "full/";
        fs::create_directories(ro);
        fs::create_directories(full);
        if (::mount("tmpfs", ro.c_str(), "tmpfs", MS_RDONLY, "size=1m") == 0) {
            r = Trimora({"cut", src, "--start", "00:00:01.000", "--end", "00:00:03.000",
                         "--save-folder", ro});
            EXPECT_NE(r.status, 0) << r.output;
            EXPECT_EQ(r.LastLine().find("DONE"), std::string::npos) << r.output;
            ::umount(ro.c_str());
        }
        if (::mount("tmpfs", full.c_str(), "tmpfs", 0, "size=8k") == 0) {
            r = Trimora({"cut", src, "--start", "00:00:00.000", "--end", "00:00:04.000",
                         "--save-folder", full});
            EXPECT_EQ(r.status, 1) << r.output;
            EXPECT_EQ(r.LastLine().rfind("FAILED ", 0), 0u) << r.output;
            EXPECT_TRUE(Tree(full).empty()); // the partial output is removed
            ::umount(full.c_str());
        }
    } else {
        const std::string ro = home_->Root() + "ro/";
        fs::create_directories(ro);
        fs::permissions(ro, fs::perms::owner_read | fs::perms::owner_exec);
        r = Trimora({"cut", src, "--start", "00:00:01.000", "--end", "00:00:03.000",
                     "--save-folder", ro});
        EXPECT_NE(r.status, 0) << r.output;
        fs::permissions(ro, fs::perms::owner_all);
        const std::string locked = Copy(Clip(), "locked.mp4");
        fs::permissions(locked, fs::perms::none);
        r = Trimora({"cut", locked, "--start", "00:00:01.000", "--end", "00:00:02.000",
                     "--save-folder", out_});
        EXPECT_NE(r.status, 0) << r.output;
        fs::permissions(locked, fs::perms::owner_all);
    }
}

TEST_F(Reliability, HostileNamesTouchOnlyTheChosenFiles) {
    const std::vector<std::string> names = {
        "quote\"d.mp4",       "back\\slash.mp4",      "dollar $HOME.mp4",
        "semi;colon.mp4",     "back`tick`.mp4",       "new\nline.mp4",
        "-leading dash.mp4",  std::string(180, 'n') + ".mp4",
        "bytes \xff\xfe.mp4", "all \"$(x)\"; `y` \\\".mp4"};
    for (const auto& name : names) {
        SCOPED_TRACE(name);
        const std::string src = Copy(Clip(), name);
        const std::string original = ReadFileBytes(src);
        const auto before = Tree(home_->Root());
        const CliRun cut = Trimora({"cut", src, "--start", "00:00:01.000", "--end",
                                    "00:00:03.000", "--save-folder", out_});
        ASSERT_EQ(cut.status, 0) << cut.output;
        const auto added = NewFiles(before, Tree(home_->Root()));
        for (const auto& f : added) std::cerr << "  new: " << f << "\n";
        ASSERT_EQ(added.size(), 1u);
        const std::string base = name.substr(0, name.size() - 4);
        EXPECT_EQ(added[0], "out/" + base + "-Cut.mp4");
        EXPECT_NEAR(ProbeDuration(home_->Root() + added[0]), 2.0, 1.0);
        EXPECT_EQ(ReadFileBytes(src), original);
        fs::remove(home_->Root() + added[0]);
        fs::remove(src);
    }
}

TEST_F(Reliability, InterruptEndsTheToolAndItsChildrenWithinOneSecond) {
    const std::string src = Copy(LongClip(), "long.mp4");
    const pid_t job = ::fork();
    if (job == 0) {
        const int log = ::open((out_ + "../job.log").c_str(), O_WRONLY | O_CREAT, 0644);
        ::dup2(log, 1);
        ::dup2(log, 2);
        const std::string bin = BinDir() + "trimora";
        ::execl(bin.c_str(), bin.c_str(), "convert", src.c_str(), "--format", ".avi",
                "--save-folder", out_.c_str(), nullptr);
        ::_exit(127);
    }
    // wait until the front-end and its encoder run
    std::vector<int> running;
    for (int i = 0; i < 200 && running.empty(); ++i) {
        for (int pid : PidsNamed("fcut.exe")) { // the convert itself, not the probe before it
            const std::string cmdline = ReadFileBytes("/proc/" + std::to_string(pid) + "/cmdline");
            if (cmdline.find("long-Convert") != std::string::npos && !ChildrenOf(pid).empty())
                running = {pid};
        }
        std::this_thread::sleep_for(25ms);
    }
    ASSERT_FALSE(running.empty()) << "the convert never started its tool";
    std::vector<int> all = running;
    for (const auto& [kid, state] : ChildrenOf(running[0])) all.push_back(kid);
    const auto t0 = std::chrono::steady_clock::now();
    ::kill(job, SIGINT);
    bool gone = false;
    while (!gone && std::chrono::steady_clock::now() - t0 < 1s) {
        gone = true;
        for (int pid : all) {
            std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
            std::string stat((std::istreambuf_iterator<char>(in)), {});
            const size_t close = stat.rfind(')');
            if (close != std::string::npos && stat[close + 2] != 'Z') gone = false;
        }
        if (!gone) std::this_thread::sleep_for(20ms);
    }
    EXPECT_TRUE(gone) << "tool still running one second after cancel";
    int status = 0;
    ::waitpid(job, &status, 0);
    EXPECT_EQ(WEXITSTATUS(status), 130) << ReadFileBytes(out_ + "../job.log"); // reports FAILED
    EXPECT_TRUE(Tree(out_).empty()); // and removes its partial output
}
