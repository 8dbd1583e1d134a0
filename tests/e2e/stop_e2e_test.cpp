// Stopping jobs of the command line: signals, a vanished reader, a killed program, a source that
// never delivers data, and failures that must say what went wrong. Real program, real tools.

#include "common/helpers.h"
#include "exec/dos_cmd_process.h"
#include "media/store_info.h"
#include "support/test_env.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
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

std::string EightSeconds() {
    return SampleClip("stop-8s.mp4", "-f lavfi -i testsrc=size=320x240:rate=25:duration=8 -f "
                                     "lavfi -i sine=duration=8 -c:v libx264 -g 100 -c:a aac "
                                     "-shortest");
}

bool Alive(int pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat((std::istreambuf_iterator<char>(in)), {});
    const size_t close = stat.rfind(')');
    return close != std::string::npos && stat[close + 2] != 'Z';
}

// Every process below pid, with its command name.
std::map<int, std::string> Descendants(int root) {
    std::map<int, std::pair<int, std::string>> all; // pid -> (ppid, comm)
    DIR* d = ::opendir("/proc");
    while (dirent* e = d ? ::readdir(d) : nullptr) {
        if (!trimora::IsAllDigits(e->d_name)) continue;
        std::ifstream in(std::string("/proc/") + e->d_name + "/stat");
        std::string stat((std::istreambuf_iterator<char>(in)), {});
        const size_t open = stat.find('('), close = stat.rfind(')');
        if (close == std::string::npos || close + 4 >= stat.size()) continue;
        all[std::atoi(e->d_name)] = {std::atoi(stat.c_str() + close + 4),
                                     stat.substr(open + 1, close - open - 1)};
    }
    if (d) ::closedir(d);
    std::map<int, std::string> found;
    for (bool grew = true; grew;) {
        grew = false;
        for (const auto& [pid, info] : all)
            if ((info.first == root || found.count(info.first)) && !found.count(pid))
                found[pid] = info.second, grew = true;
    }
    return found;
}

struct Job {
    pid_t pid = -1;
    std::string log;
    int status = -1; // exit status, 128+n when killed by signal n
    std::string Output() const { return ReadFileBytes(log); }
    std::string LastLine() const {
        std::string s = Output();
        while (!s.empty() && s.back() == '\n') s.pop_back();
        return s.substr(s.find_last_of('\n') + 1);
    }
};

Job Start(const std::vector<std::string>& args, const std::string& log) {
    Job job{::fork(), log};
    if (job.pid == 0) {
        const int fd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(fd, 1);
        ::dup2(fd, 2);
        std::vector<char*> argv;
        const std::string bin = BinDir() + "trimora";
        argv.push_back(const_cast<char*>(bin.c_str()));
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    return job;
}

bool Wait(Job& job, std::chrono::milliseconds limit) {
    const auto end = Clock::now() + limit;
    int st = 0;
    while (::waitpid(job.pid, &st, WNOHANG) == 0) {
        if (Clock::now() > end) return false;
        std::this_thread::sleep_for(10ms);
    }
    job.status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
    return true;
}

// Waits until the job's main run has its real tool going (not the probe's ffprobe).
std::map<int, std::string> WaitForTool(const Job& job) {
    for (int i = 0; i < 1000; ++i) {
        const auto kids = Descendants(job.pid);
        for (const auto& [pid, comm] : kids)
            if (comm == "ffmpeg" || comm == "mkvmerge" || comm == "mencoder") return kids;
        std::this_thread::sleep_for(10ms);
    }
    return {};
}

class Stop : public ::testing::Test {
  protected:
    void SetUp() override {
        home_ = std::make_unique<IsolatedHome>();
        home_->InstallTools();
        out_ = home_->Root() + "out/";
        fs::create_directories(out_);
    }
    std::string Source(const std::string& name) {
        const std::string path = home_->Root() + "src/" + name;
        fs::create_directories(home_->Root() + "src");
        fs::copy_file(LongClip(), path);
        return path;
    }
    std::unique_ptr<IsolatedHome> home_;
    std::string out_;
};

TEST_F(Stop, SignalsStopEveryJobKindAndLeaveNothing) {
    const std::string a = Source("a.mp4"), b = Source("b.mp4");
    const std::vector<std::vector<std::string>> kinds = {
        {"cut", a, "--start", "00:00:01", "--end", "00:14:00"},
        {"convert", a, "--format", ".avi"},
        {"extract-audio", a, "--format", ".mp3"},
        {"join", a, b}};
    for (int sig : {SIGINT, SIGTERM, SIGKILL}) {
        for (auto args : kinds) {
            const bool killed = sig == SIGKILL; // nothing can be printed or removed then
            if (killed && (args[0] == "cut" || args[0] == "extract-audio")) continue;
            SCOPED_TRACE(args[0] + " signal " + std::to_string(sig));
            args.insert(args.end(), {"--save-folder", out_});
            Job job = Start(args, home_->Root() + "job.log");
            const auto tools = WaitForTool(job);
            ASSERT_FALSE(tools.empty()) << job.Output();
            const auto t0 = Clock::now();
            ::kill(job.pid, sig);
            ASSERT_TRUE(Wait(job, 5s)) << job.Output();
            EXPECT_LT(Clock::now() - t0, 1s);
            EXPECT_EQ(job.status, 128 + sig) << job.Output();
            // No front-end or tool of the job is left (2 s when the program itself was killed).
            bool left = true;
            while (left && Clock::now() - t0 < (killed ? 2000ms : 1000ms)) {
                left = false;
                for (const auto& [pid, comm] : tools) left = left || Alive(pid);
                if (left) std::this_thread::sleep_for(20ms);
            }
            EXPECT_FALSE(left);
            if (killed) {
                std::error_code ec;
                for (const auto& entry : fs::directory_iterator(out_)) fs::remove_all(entry.path(), ec);
                continue;
            }
            EXPECT_EQ(job.LastLine(), "FAILED cancelled");
            EXPECT_TRUE(fs::is_empty(out_)) << fs::directory_iterator(out_)->path();
        }
    }
}

TEST_F(Stop, OneOfTwoConvertsInterruptedTheOtherRunsToItsEnd) {
    const std::string src = EightSeconds();
    const std::string one = out_ + "one/", two = out_ + "two/";
    fs::create_directories(one);
    fs::create_directories(two);
    Job first = Start({"convert", src, "--format", ".avi", "--save-folder", one}, one + "../1.log");
    Job second = Start({"convert", src, "--format", ".avi", "--save-folder", two}, two + "../2.log");
    ASSERT_FALSE(WaitForTool(first).empty());
    ASSERT_FALSE(WaitForTool(second).empty());
    ::kill(first.pid, SIGINT);
    ASSERT_TRUE(Wait(first, 5s));
    ASSERT_TRUE(Wait(second, 120s));
    EXPECT_EQ(first.status, 130);
    EXPECT_EQ(first.LastLine(), "FAILED cancelled");
    EXPECT_TRUE(fs::is_empty(one));
    EXPECT_EQ(second.status, 0) << second.Output();
    EXPECT_EQ(second.LastLine(), "DONE " + two + "stop-8s-Convert.avi");
    EXPECT_NEAR(ProbeDuration(two + "stop-8s-Convert.avi"), 8.0, 1.0);
}

TEST_F(Stop, ClosedOutputStopsLikeAnInterrupt) {
    // The reader of the output goes away: a stop like Ctrl-C, partial output removed. (A short
    // clip, so that the next progress line, which meets the closed pipe, comes soon.)
    const std::string shortClip = EightSeconds();
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    Job reader{::fork(), ""};
    if (reader.pid == 0) {
        ::dup2(pipeFds[1], 1);
        ::close(pipeFds[0]);
        const std::string bin = BinDir() + "trimora";
        ::execl(bin.c_str(), bin.c_str(), "convert", shortClip.c_str(), "--format", ".avi",
                "--save-folder", out_.c_str(), nullptr);
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    ASSERT_FALSE(WaitForTool(reader).empty());
    ::close(pipeFds[0]);
    ASSERT_TRUE(Wait(reader, 20s));
    EXPECT_EQ(reader.status, 128 + SIGPIPE);
    EXPECT_TRUE(fs::is_empty(out_));
}

TEST_F(Stop, SourceThatNeverDeliversFailsQuickly) {
    const std::string fifo = home_->Root() + "pipe.mp4";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    trimora::TStoreInfo info;
    const auto t0 = Clock::now();
    const auto probe = trimora::ProbeClip("\"" + BinDir() + "fcut.exe\"", fifo, {}, info);
    EXPECT_LT(Clock::now() - t0, 5s);
    EXPECT_NE(probe.Failure.find("Not a regular file"), std::string::npos) << probe.Failure;
    EXPECT_TRUE(trimora::OwnProcessGroups().empty());
}

// Failures say what the system or the tool reported.
TEST_F(Stop, FailuresNameTheirCause) {
    if (::geteuid() != 0) GTEST_SKIP() << "mounting the small file systems needs root";
    const std::string src = Source("a.mp4");
    auto mountTmpfs = [&](const std::string& dir, const char* options) {
        fs::create_directories(dir);
        return ::mount("tmpfs", dir.c_str(), "tmpfs", 0, options) == 0;
    };
    const std::string full = home_->Root() + "full/", ro = home_->Root() + "ro/";
    ASSERT_TRUE(mountTmpfs(full, "size=64k"));
    ASSERT_TRUE(mountTmpfs(ro, "size=64k"));
    ASSERT_EQ(::mount(nullptr, ro.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0);
    const std::string longName = home_->Root() + "src/" + std::string(250, 'n') + ".mp4";
    fs::copy_file(src, longName);
    const std::string noTools = home_->Root() + "bin/"; // ffprobe only
    fs::create_directories(noTools);
    std::string ffprobe = RunProgram({"which", "ffprobe"});
    fs::create_symlink(ffprobe.erase(ffprobe.find_last_not_of('\n') + 1), noTools + "ffprobe");
    const std::string path = ::getenv("PATH");

    struct Case { std::vector<std::string> args; std::string cause; bool noFfmpeg = false; };
    const Case cases[] = {
        {{"cut", src, "--start", "0:00:01", "--end", "0:10:00", "--save-folder", full},
         "Failed! Please adjust the Start Position and try again. (No space left on device)"},
        {{"convert", src, "--format", ".mp4", "--save-folder", ro}, "Read-only file system"},
        {{"cut", longName, "--start", "0:00:01", "--end", "0:00:03", "--save-folder", out_},
         "(File name too long)"},
        {{"convert", src, "--format", ".mp4", "--save-folder", out_},
         "ffmpeg is not installed: apt-get install ffmpeg", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.cause);
        if (c.noFfmpeg) ::setenv("PATH", noTools.c_str(), 1);
        Job job = Start(c.args, home_->Root() + "job.log");
        ::setenv("PATH", path.c_str(), 1);
        ASSERT_TRUE(Wait(job, 120s));
        EXPECT_EQ(job.status, 1) << job.Output();
        EXPECT_EQ(job.LastLine().rfind("FAILED ", 0), 0u) << job.Output();
        EXPECT_NE(job.LastLine().find(c.cause), std::string::npos) << job.Output();
    }
    ::umount2(full.c_str(), MNT_DETACH);
    ::umount2(ro.c_str(), MNT_DETACH);
}

TEST_F(Stop, UnknownOptionValuesAreRefusedAndLongRangesCutAtTheEnd) {
    const std::string src = EightSeconds();
    for (const std::vector<std::string>& bad :
         {std::vector<std::string>{"--quality", "bogus"}, {"--format", ".xyz"},
          {"--frame-size", "33x33"}, {"--volume", "9"}}) {
        std::vector<std::string> args = {BinDir() + "trimora", "convert", src, "--format", ".avi"};
        args.insert(args.end(), bad.begin(), bad.end());
        int code = 0;
        const std::string text = RunProgram(args, &code);
        EXPECT_EQ(code, 2) << text;
        EXPECT_NE(text.find("accepted values"), std::string::npos) << text;
    }
    int code = 0;
    const std::string text = RunProgram({BinDir() + "trimora", "convert", src, "--format", ".avi",
                                         "--start", "0:00:02", "--end", "0:01:00",
                                         "--save-folder", out_},
                                        &code);
    ASSERT_EQ(code, 0) << text;
    EXPECT_NE(text.find("lies past the end of the clip"), std::string::npos) << text;
    EXPECT_NEAR(ProbeDuration(out_ + "stop-8s-Partial.avi"), 6.0, 1.0);
}

} // namespace
