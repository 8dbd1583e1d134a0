// The runner stops only what this program started, and a capture never waits for ever.

#include "exec/dos_cmd_process.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

using namespace trimora;
using namespace std::chrono_literals;

namespace {

bool Alive(int pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat((std::istreambuf_iterator<char>(in)), {});
    const size_t close = stat.rfind(')');
    return close != std::string::npos && stat[close + 2] != 'Z';
}

TEST(OwnTools, KillByNameEndsOnlyOurOwnChildOfThatName) {
    const std::string dir = ::testing::TempDir() + "own-" + std::to_string(::getpid());
    std::filesystem::create_directories(dir);
    const std::string exe = dir + "/fcut.exe";
    std::filesystem::create_symlink("/bin/sleep", exe);
    // Someone else's process under the same name: another copy, or the command line.
    pid_t stranger = -1;
    char* argv[] = {const_cast<char*>(exe.c_str()), const_cast<char*>("30"), nullptr};
    ASSERT_EQ(::posix_spawn(&stranger, exe.c_str(), nullptr, nullptr, argv, environ), 0);

    TDosCmdProcess ours;
    ours.CmdLine = "\"" + exe + "\" 30";
    ASSERT_TRUE(ours.Run());
    EXPECT_FALSE(KillProcessByName("mcut.exe"));
    EXPECT_TRUE(KillProcessByName("FCUT.EXE"));
    for (int i = 0; i < 100 && !ours.Finished(); ++i) std::this_thread::sleep_for(10ms);
    EXPECT_TRUE(ours.Finished());
    EXPECT_EQ(ours.TermSignal(), SIGTERM);
    EXPECT_TRUE(Alive(stranger));
    EXPECT_FALSE(KillProcessByName("fcut.exe")); // reaped: nothing of ours is left
    ::kill(stranger, SIGKILL);
    ::waitpid(stranger, nullptr, 0);
    std::filesystem::remove_all(dir);
}

TEST(OwnTools, CaptureEndsTheWholeGroupOnTimeLimitAndInterrupt) {
    // A child that never ends and a grandchild that holds the output open.
    const std::string command = "/bin/sh -c \"sleep 60 & echo $!; exec sleep 60\"";
    int stop[2];
    ASSERT_EQ(::pipe(stop), 0);
    for (bool interrupt : {false, true}) {
        SCOPED_TRACE(interrupt ? "interrupt" : "time limit");
        SetCaptureInterruptFd(interrupt ? stop[0] : -1);
        std::thread writer;
        if (interrupt) writer = std::thread([&] {
            std::this_thread::sleep_for(300ms);
            (void)!::write(stop[1], "x", 1);
        });
        std::vector<std::string> lines;
        TCaptureOutcome outcome;
        const auto t0 = std::chrono::steady_clock::now();
        ASSERT_TRUE(RunAndCapture(command, lines, "/", &outcome, interrupt ? 30 : 1));
        if (writer.joinable()) writer.join();
        EXPECT_LT(std::chrono::steady_clock::now() - t0, 3s);
        EXPECT_EQ(outcome.TimedOut, !interrupt);
        EXPECT_EQ(outcome.Interrupted, interrupt);
        EXPECT_FALSE(outcome.Completed());
        ASSERT_FALSE(lines.empty());
        const int grandchild = std::atoi(lines.front().c_str());
        ASSERT_GT(grandchild, 0);
        for (int i = 0; i < 50 && Alive(grandchild); ++i) std::this_thread::sleep_for(10ms);
        EXPECT_FALSE(Alive(grandchild));
        EXPECT_TRUE(OwnProcessGroups().empty());
    }
    SetCaptureInterruptFd(-1);
    ::close(stop[0]);
    ::close(stop[1]);
}

} // namespace
