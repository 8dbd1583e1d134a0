// The runner: output as it comes, the exit, stops; it ends only what this program started, and a
// capture never waits for ever. Runs that cannot start and runners released from their own
// completion are met through the tool runs; captured lines through the real probes.
#include "common/command_line.h"
#include "exec/dos_cmd_process.h"
#include "support/test_env.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <mutex>
#include <thread>
#include <unistd.h>

using namespace trimora;
using namespace std::chrono_literals;

namespace {

// Collects what a runner reports, as the program's handlers do (under the runner's lock).
struct Recorder {
    std::mutex m;
    std::string text, textAtComplete;
    int chunks = 0;
    std::atomic<bool> complete{false};
    void Attach(TDosCmdProcess& p) {
        p.OnProcessText = [this](TDosCmdProcess& sender, const std::string& chunk) {
            sender.Lock();
            std::lock_guard<std::mutex> lock(m);
            text += chunk;
            ++chunks;
            sender.Unlock();
        };
        p.OnProcessComplete = [this](TDosCmdProcess&) {
            std::lock_guard<std::mutex> lock(m);
            textAtComplete = text;
            complete = true;
        };
    }
    bool WaitComplete(int ms = 10000) {
        return trimora_test::PollUntil([&] { return complete.load(); }, ms);
    }
};

} // namespace

TEST(Runner, DeliversOutputAsItComesThenTheExitAndRefusesASecondRunOrStop) {
    TDosCmdProcess p;
    Recorder r;
    r.Attach(p);
    // Progress lines ended by CR alone, output on both streams, a last burst right before exit.
    p.CmdLine = "/bin/sh -c " +
                Quoted("i=0; while [ $i -lt 5 ]; do printf 'frame=%d time=%d\\r' $i $i; "
                       "i=$((i+1)); sleep 0.05; done; echo to-stderr 1>&2; "
                       "head -c 100000 /dev/zero | tr '\\0' x; echo; echo video:0kB audio:0kB; "
                       "exit 3");
    ASSERT_TRUE(p.Run());
    const int pid = p.Pid();
    EXPECT_FALSE(p.Run());
    EXPECT_FALSE(p.Stop(false));
    EXPECT_EQ(p.Pid(), pid);
    ASSERT_TRUE(r.WaitComplete());
    for (const char* text : {"time=4\r", "to-stderr", "video:0kB audio:0kB"})
        EXPECT_NE(r.textAtComplete.find(text), std::string::npos) << text;
    EXPECT_GT(r.chunks, 5); // chunks come as they are written, not at the end
    EXPECT_TRUE(p.ExitStatus() == 3 && p.TermSignal() == 0);
}

TEST(Runner, ForcedStopEndsAtOnceWithoutCompletion) {
    TDosCmdProcess p;
    Recorder r;
    r.Attach(p);
    p.CmdLine = "/bin/sh -c " + Quoted("echo started; exec sleep 30");
    ASSERT_TRUE(p.Run());
    const int pid = p.Pid();
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_TRUE(p.Stop(true));
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 2s);
    EXPECT_FALSE(r.WaitComplete(300));
    EXPECT_FALSE(trimora_test::Alive(pid));
}

TEST(OwnTools, KillByNameEndsOnlyOurOwnChildOfThatName) {
    trimora_test::IsolatedHome home;
    const std::string exe = home.Root() + "fcut.exe";
    std::filesystem::create_symlink("/bin/sleep", exe);
    // Someone else's process under the same name: another copy, or the command line.
    trimora_test::Started stranger = trimora_test::StartInBackground({exe, "30"}, "/dev/null");

    TDosCmdProcess ours;
    ours.CmdLine = "\"" + exe + "\" 30";
    ASSERT_TRUE(ours.Run());
    EXPECT_FALSE(KillProcessByName("mcut.exe"));
    EXPECT_TRUE(KillProcessByName("FCUT.EXE"));
    EXPECT_TRUE(trimora_test::PollUntil([&] { return ours.Finished(); }, 1000));
    EXPECT_EQ(ours.TermSignal(), SIGTERM);
    EXPECT_TRUE(trimora_test::Alive(stranger.pid));
    EXPECT_FALSE(KillProcessByName("fcut.exe")); // reaped: nothing of ours is left
    ::kill(stranger.pid, SIGKILL);
    stranger.Wait();
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
        if (interrupt)
            writer = std::thread([&] {
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
        EXPECT_TRUE(trimora_test::PollUntil([&] { return !trimora_test::Alive(grandchild); }, 500));
        EXPECT_TRUE(OwnProcessGroups().empty());
    }
    SetCaptureInterruptFd(-1);
    ::close(stop[0]);
    ::close(stop[1]);
}
