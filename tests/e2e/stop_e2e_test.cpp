// Jobs of the command line that are stopped or fail: signals, a vanished reader, failures that
// must say what went wrong, bad media, many jobs in one program run. Real program, real tools.
#include "cli/cli.h"
#include "support/test_env.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sstream>
#include <sys/mount.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace trimora_test;
namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

// Many small packets: even a stream copy of it takes a moment, so a job can be stopped midway.
std::string LongClip() {
    return SampleClip("stop-long.mp4", "-f lavfi -i testsrc=size=32x32:rate=50:duration=900 "
                                       "-f lavfi -i sine=duration=900:sample_rate=22050 -c:v "
                                       "libx264 -preset ultrafast -g 250 -c:a aac -shortest");
}

int Entries(const std::string& dir) {
    return static_cast<int>(std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
}

// 320x240: converting it takes a moment.
std::string EightSeconds() { return MediaClip(".mp4", 8, "-s 320x240 -g 100"); }

class Stop : public InstalledTools {
  protected:
    void SetUp() override { fs::create_directories(home_.Root() + "src"); }
    std::string Source(const std::string& name) {
        fs::copy_file(LongClip(), home_.Root() + "src/" + name);
        return home_.Root() + "src/" + name;
    }
    Started Start(std::vector<std::string> args, const std::string& log) {
        args.insert(args.begin(), BinDir() + "trimora");
        return StartInBackground(args, home_.Root() + log);
    }
};

} // namespace

TEST_F(Stop, SignalsStopEveryJobKindAndLeaveNothing) {
    const std::string a = Source("a.mp4"), b = Source("b.mp4");
    const std::vector<std::vector<std::string>> kinds = {
        {"cut", a, "--start", "00:00:01", "--end", "00:14:00"},
        {"convert", a, "--format", ".avi"},
        {"extract-audio", a, "--format", ".mp3"},
        {"join", a, b}};
    for (int sig : {SIGINT, SIGTERM, SIGKILL}) {
        for (auto args : kinds) {
            const bool killed = sig == SIGKILL; // nothing can be printed or removed at once then
            if (killed && (args[0] == "cut" || args[0] == "extract-audio")) continue;
            SCOPED_TRACE(args[0] + " signal " + std::to_string(sig));
            args.insert(args.end(), {"--save-folder", out_});
            Started job = Start(args, "job.log");
            const auto tools = WaitForTool(job.pid);
            ASSERT_FALSE(tools.empty()) << job.Output();
            const auto t0 = Clock::now();
            ::kill(job.pid, sig);
            ASSERT_EQ(job.Wait(5000), 128 + sig) << job.Output();
            EXPECT_LT(Clock::now() - t0, 1s);
            // No front-end or tool of the job is left (2 s when the program itself was killed).
            EXPECT_TRUE(PollUntil([&] {
                return std::none_of(tools.begin(), tools.end(),
                                    [](auto& t) { return Alive(t.first); });
            }, killed ? 2000 : 1000));
            if (killed) { // what it left is cleaned up when the program next starts
                EXPECT_FALSE(fs::is_empty(out_));
                RunTrimora({"probe", a});
                EXPECT_TRUE(fs::is_empty(out_)) << fs::directory_iterator(out_)->path();
                continue;
            }
            EXPECT_EQ(job.LastLine(), "FAILED cancelled");
            EXPECT_TRUE(fs::is_empty(out_)) << fs::directory_iterator(out_)->path();
        }
    }
}

TEST_F(Stop, ClosedOutputStopsLikeAnInterrupt) {
    // The reader of the output goes away: a stop like Ctrl-C, partial output removed. (A short
    // clip, so that the next progress line, which meets the closed pipe, comes soon.)
    const std::string pipe = home_.Root() + "out.pipe";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    const int reader = ::open(pipe.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    Started job = Start({"convert", EightSeconds(), "--format", ".avi", "--save-folder", out_},
                        "out.pipe");
    ASSERT_FALSE(WaitForTool(job.pid).empty());
    ::close(reader);
    EXPECT_EQ(job.Wait(20000), 128 + SIGPIPE);
    EXPECT_TRUE(fs::is_empty(out_));
}

TEST_F(Stop, FailuresNameTheirCause) {
    const std::string src8 = EightSeconds();
    // A range past the clip's end is cut at the end and says so.
    const std::string partial = out_ + StemOf(src8) + "-Partial.avi";
    const CliRun longRange = RunTrimora({"convert", src8, "--format", ".avi", "--start", "0:00:02",
                                         "--end", "0:01:00", "--save-folder", out_});
    ASSERT_EQ(longRange.status, 0) << longRange.output;
    EXPECT_NE(longRange.output.find("lies past the end of the clip"), std::string::npos);
    EXPECT_NEAR(ProbeDuration(partial), 6.0, 1.0);

    if (::geteuid() != 0) GTEST_SKIP() << "mounting the small file systems needs root";
    const std::string src = Source("a.mp4");
    auto mountTmpfs = [&](const std::string& dir) {
        fs::create_directories(dir);
        return ::mount("tmpfs", dir.c_str(), "tmpfs", 0, "size=64k") == 0;
    };
    const std::string full = home_.Root() + "full/", ro = home_.Root() + "ro/";
    ASSERT_TRUE(mountTmpfs(full));
    ASSERT_TRUE(mountTmpfs(ro));
    ASSERT_EQ(::mount(nullptr, ro.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0);
    const std::string longName = home_.Root() + "src/" + std::string(250, 'n') + ".mp4";
    fs::copy_file(src, longName);
    const std::string noTools = home_.Root() + "bin/"; // ffprobe only
    fs::create_directories(noTools);
    std::string ffprobe = RunProgram({"which", "ffprobe"});
    fs::create_symlink(ffprobe.erase(ffprobe.find_last_not_of('\n') + 1), noTools + "ffprobe");
    const std::string path = ::getenv("PATH"), trimora = BinDir() + "trimora";
    // A copy of the program whose own folder holds no front-end to install.
    const std::string lone = noTools + "trimora";
    fs::copy_file(trimora, lone);
    fs::remove(partial);

    struct Case { std::vector<std::string> args; std::string cause, exe = "", path = ""; };
    const Case cases[] = {
        {{"cut", src, "--start", "0:00:01", "--end", "0:10:00", "--save-folder", full},
         "Failed! Please adjust the Start Position and try again. (No space left on device)"},
        {{"convert", src, "--format", ".mp4", "--save-folder", ro}, "Read-only file system"},
        {{"cut", longName, "--start", "0:00:01", "--end", "0:00:03", "--save-folder", out_},
         "(File name too long)"},
        {{"cut", src8, "--start", "0:00:30", "--end", "0:00:40", "--save-folder", out_},
         "(the range starts after the end of the clip"},
        {{"convert", src, "--format", ".mp4", "--save-folder", out_},
         "ffmpeg is not installed: apt-get install ffmpeg", trimora, noTools},
        {{"cut", src, "--start", "0:00:01", "--end", "0:00:02", "--save-folder", out_},
         "fcut.exe could not be started from", lone, path},
    };
    for (auto c : cases) {
        SCOPED_TRACE(c.cause);
        if (c.exe == lone) fs::remove(home_.Root() + "data/trimora/fcut.exe");
        c.args.insert(c.args.begin(), c.exe.empty() ? trimora : c.exe);
        ::setenv("PATH", c.path.empty() ? path.c_str() : c.path.c_str(), 1);
        Started job = StartInBackground(c.args, home_.Root() + "job.log");
        ::setenv("PATH", path.c_str(), 1);
        EXPECT_EQ(job.Wait(120000), 1) << job.Output();
        EXPECT_EQ(job.LastLine().rfind("FAILED ", 0), 0u) << job.Output();
        EXPECT_NE(job.LastLine().find(c.cause), std::string::npos) << job.Output();
    }
    EXPECT_TRUE(fs::is_empty(out_)) << fs::directory_iterator(out_)->path();
    EXPECT_TRUE(fs::is_empty(full)); // the partial output is removed
    ::umount2(full.c_str(), MNT_DETACH);
    ::umount2(ro.c_str(), MNT_DETACH);
}

TEST_F(Stop, BadMediaEndsInAClearStatusAndLeavesNothing) {
    const std::string good = ReadFileBytes(MediaClip(".mp4", 4));
    std::string random(200000, '\0');
    for (size_t i = 0; i < random.size(); ++i) random[i] = static_cast<char>((i * 7919 + 13) % 251);
    // an FLV whose header claims a duration of about 31 years
    std::string absurd = ReadFileBytes(MediaClip(".flv", 2));
    const size_t at = absurd.find("duration");
    ASSERT_NE(at, std::string::npos);
    const double huge = 1e9;
    uint64_t bits;
    std::memcpy(&bits, &huge, 8);
    for (int i = 0; i < 8; ++i) absurd[at + 9 + i] = static_cast<char>(bits >> (56 - 8 * i));
    struct Case {
        std::string name, bytes;
        bool bad; // the probe names it "Bad File!"
    };
    const std::vector<Case> cases = {
        {"zero.mp4", "", true},
        {"truncated.mp4", good.substr(0, 3000), true},
        {"random.avi", random, true},
        {"mp4 named.avi", good, false},
        {"absurd.flv", absurd, false},
        {"audio only.mp4", ReadFileBytes(MediaClip(".mp4", 3, "-vn")), false},
        {"video only.mp4", ReadFileBytes(MediaClip(".mp4", 3, "-an")), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string src = home_.Root() + "src/" + c.name;
        WriteFileBytes(src, c.bytes);
        const CliRun probe = RunTrimora({"probe", src});
        EXPECT_EQ(probe.status, c.bad ? 1 : 0) << probe.output;
        EXPECT_EQ(probe.output.find("Bad File!") != std::string::npos, c.bad) << probe.output;
        const CliRun cut = RunTrimora({"cut", src, "--start", "00:00:00.500", "--end",
                                       "00:00:01.500", "--save-folder", out_});
        ASSERT_TRUE(cut.status >= 0 && cut.status <= 2) << cut.output;
        const auto added = FilesIn(out_);
        if (cut.status == 0) {
            ASSERT_EQ(added.size(), 1u);
            EXPECT_EQ(cut.Done(), out_ + added[0]);
            EXPECT_GT(ProbeDuration(out_ + added[0]), 0.3);
            fs::remove(out_ + added[0]);
        } else {
            EXPECT_TRUE(cut.LastLine().rfind("FAILED ", 0) == 0 || cut.status == 2) << cut.output;
            EXPECT_TRUE(added.empty()) << added[0];
        }
        EXPECT_EQ(ReadFileBytes(src), c.bytes); // the source is never touched
    }
}

TEST_F(Stop, ManyJobsInOneRunGiveDistinctOutputsAndLeakNothing) {
    const std::string src = home_.Root() + "src/clip.mp4";
    fs::copy_file(MediaClip(".mp4", 4), src);
    auto cut = [&] {
        std::ostringstream out, err;
        const int status = trimora::RunCommandLine(
            {"cut", src, "--start", "00:00:01.000", "--end", "00:00:02.000", "--save-folder", out_},
            out, err);
        EXPECT_EQ(status, 0) << out.str() << err.str();
    };
    cut(); // first, so lazily made things (pattern caches, the tool folder) exist
    const int fds = Entries("/proc/self/fd"), threads = Entries("/proc/self/task");
    for (int i = 0; i < 19; ++i) cut();
    const auto outputs = FilesIn(out_);
    EXPECT_EQ(outputs.size(), 20u);
    EXPECT_EQ(outputs.back(), "clip-Cut19.mp4");
    EXPECT_EQ(ReadFileBytes(src), ReadFileBytes(MediaClip(".mp4", 4)));
    EXPECT_LE(Entries("/proc/self/fd"), fds);
    std::this_thread::sleep_for(std::chrono::milliseconds(200)); // runner threads wind down
    EXPECT_LE(Entries("/proc/self/task"), threads);
    EXPECT_TRUE(Descendants(::getpid()).empty()); // no tool left running
}
