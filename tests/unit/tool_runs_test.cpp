#include "exec/tool_runs.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "support/run_host.h"
#include "support/test_env.h"

using namespace trimora;

TEST(ProgressParsers, ChunkForms) {
    // chunk, cut length, splitter -> percent and text, or "-" when the chunk changes nothing
    const std::tuple<const char*, int64_t, bool, const char*> rows[] = {
        {"frame=  500 fps=0.0 q=-1.0 size=  1024kB time=20", 37, false, "54 20 54%"},
        // halves go to the even neighbour: 1/8 of 100 is 12.5 -> 12, 3/8 is 37.5 -> 38
        {"time=1", 8, false, "12 1 12%"},
        {"time=3", 8, false, "38 3 38%"},
        {"time=7", 0, false, "0 7 0%"}, // no length known
        {"time=00:00:05.01 bitrate=1kbits/s", 10, false, "-"},
        {"time=1234567890", 10, false, "-"}, // ten characters
        {"time=", 10, false, "-"},
        {"time=5", -1, false, "-"},
        // two progress lines in one chunk: the text after the first marker is too long
        {"time=4\rframe=1 time=5", 10, false, "-"},
        {"Progress: 45%", 100, true, "45  45%"},
        {"Progress: 45%\rProgress: 46%", 100, true, "0  "},
    };
    for (const auto& [chunk, total, splitter, want] : rows) {
        const auto p = ParseTimeProgress(chunk, total, splitter);
        // a splitter chunk that does not read gives 0 %, whatever its text
        const std::string text = p && (p->Percent || !splitter) ? p->Text4 : "";
        EXPECT_EQ(p ? std::to_string(p->Percent) + " " + (splitter ? "" : p->Text1) + " " + text
                    : "-",
                  want)
            << chunk;
    }

    TProgressCounters c;
    EXPECT_EQ(ParsePosProgress("Pos: 12.3s", 24, c).Percent, 50);
    EXPECT_EQ(ParsePosProgress("Pos:   1.0s    25f ( 4%)", 24, c).Text1, "1");
    // unreadable: the last percent stays
    EXPECT_EQ(
        ParsePosProgress("garbage", 24, c).Percent + ParsePosProgress("Pos: 1s", 0, c).Percent, 8);
    TProgressCounters m;
    EXPECT_EQ(ParsePercentProgress("Progress: 37%", m).Percent, 37);
    EXPECT_EQ(ParsePercentProgress("Progress: x%", m).Percent, 0);

    // The total is the cut length in a cut and a partial convert.
    EXPECT_EQ(ProgressTotal(TMode::Cut, false, 37, 600), 37);
    EXPECT_EQ(ProgressTotal(TMode::Convert, true, 37, 600), 37);
    for (const int64_t cut : {37, 0, -5})
        EXPECT_EQ(ProgressTotal(cut == 37 ? TMode::Convert : TMode::Cut, false, cut, 600), 600);
}

TEST(RunOutcome, EveryWayARunCanEnd) {
    const std::pair<TRunFacts, bool> rows[] = {
        {{}, false},
        {{.Started = false}, true},
        {{.ExitStatus = 1}, true},
        {{.ExitStatus = -1, .TermSignal = 15}, true},
        // the splitter the program stopped itself has not failed ...
        {{.StoppedOnPurpose = true, .ExitStatus = -1, .TermSignal = 15}, false},
        // ... unless the user cancelled it too, or it wrote a failure text
        {{.Cancelled = true, .StoppedOnPurpose = true, .TermSignal = 15}, true},
        {{.NothingWritten = true}, true},
        {{.CannotAppend = true}, true},
        // killed by Cancel, but the tool caught the signal and exited 0
        {{.Cancelled = true}, true},
    };
    for (const auto& [f, failed] : rows) {
        const TRunOutcome o = DecideRunOutcome(f);
        EXPECT_EQ(o.Failed, failed) << f.ExitStatus << " " << f.TermSignal;
        EXPECT_EQ(o.Reason.empty(), !failed);
    }

    // Failure texts are found across chunks.
    TOutputWatch w, j;
    w.Feed("frame=10 time=3\rvideo:0k");
    EXPECT_FALSE(w.NothingWritten());
    w.Feed("B audio:0kB subtitle:0kB");
    EXPECT_TRUE(w.NothingWritten());
    j.Feed("Error: The track number 0 from the file 'b.mkv' cannot be ap");
    j.Feed("pended to the track number 0 from the file 'a.mkv'.");
    EXPECT_TRUE(j.CannotAppend());
}

// A done row and the join's failure are met in the window's and the join's own tests.
TEST(JobResult, FailedRowAndItsRemovedOutputAndTheProgressShown) {
    TJobResultInputs in;
    in.OutputFile = "/v/a-Cut.mp4";
    in.Failed = true;
    const auto v = DecideJobResult(in);
    EXPECT_EQ(v.Status + "|" + std::to_string(v.Size) + "|" + v.StatusText + "|" +
                  v.MessageRow.value_or("-") + "|" + v.DeleteFile + "|" + v.FullPath,
              "FAILED|1|Failed!|Failed! Please adjust the Start Position and try again.|" +
                  in.OutputFile + "|" + in.OutputFile);
    in.RemoveOutput = false;
    EXPECT_EQ(DecideJobResult(in).DeleteFile, "");

    // the gauge and status text by mode and class
    TTimeToStore cut;
    cut.Percent = 40;
    cut.Text4 = "40%";
    TTimeToStoreJoin pos;
    pos.Percent = 70;
    const std::pair<TProgressInputs, std::string> views[] = {
        {{TMode::Cut, false, ".mp4", false}, "40 - 0"},
        {{TMode::Cut, false, ".mkv", true}, "40 40% 0"},
        {{TMode::Cut, false, ".wmv", false}, "70 - 1"},
        {{TMode::Convert, true, ".wmv", false}, "40 Processing... 0"},
    };
    for (const auto& [inputs, want] : views) {
        const auto v = DecideProgressView(inputs, cut, pos);
        EXPECT_EQ(std::to_string(v.Gauge) + " " + v.Status.value_or("-") + " " +
                      std::to_string(v.StopBigFileWorkerAbove2),
                  want);
    }
}

namespace {

struct Completion {
    std::atomic<bool> done{false};
    TRunOutcome outcome;
    TRunHandlers Handlers() {
        TRunHandlers h;
        h.OnComplete = [this](TToolRun&, const TRunOutcome& o) {
            outcome = o;
            done = true;
        };
        return h;
    }
    bool Wait() { return trimora_test::PollUntil([&] { return done.load(); }, 10000); }
};

} // namespace

struct ToolRunsTest : ::testing::Test {
    JobState st;
    trimora_test::RecordingRunHost host;
    TToolRuns runs{st, host};
};

TEST_F(ToolRunsTest, OneRunPerSlotAndTheOutcomeOfEachEnd) {
    Completion a, b;
    ASSERT_TRUE(runs.RunDosCmd(kRunTrim, "sleep 0.3", a.Handlers()));
    EXPECT_TRUE(runs.SlotBusy(kRunTrim));
    EXPECT_FALSE(runs.RunDosCmd(kRunTrim, "true", b.Handlers()));
    ASSERT_TRUE(a.Wait());
    EXPECT_FALSE(a.outcome.Failed || runs.SlotBusy(kRunTrim) || b.done);

    // Each of these fails its job; a tool that cannot start ends it at once.
    const std::pair<const char*, bool> rows[] = {
        {"false", true},
        {"echo \"video:0kB audio:0kB subtitle:0kB\"", true}, // the failure text of a zero exit
        {"/nonexistent/fcut.exe -i x", false},
    };
    for (const auto& [command, starts] : rows) {
        Completion c;
        EXPECT_EQ(runs.RunDosCmd(kDosConvertClip, command, c.Handlers()), starts) << command;
        ASSERT_TRUE(starts ? c.Wait() : c.done.load()) << command;
        EXPECT_TRUE(c.outcome.Failed) << command;
        EXPECT_FALSE(runs.SlotBusy(kDosConvertClip));
    }
}

// The splitter the program stops itself has not failed; a run the user cancels has, at once.
TEST_F(ToolRunsTest, StopOnPurposeIsNoFailureAndCancelAllEndsTheToolsAndFailsTheirRuns) {
    Completion a;
    TRunHandlers h = a.Handlers();
    h.OnText = [](TToolRun& run, const std::string& chunk) {
        if (chunk.find("part") != std::string::npos && !run.StoppedOnPurpose()) run.StopOnPurpose();
    };
    ASSERT_TRUE(runs.RunDosCmd(kRunTrim, "sh -c \"echo part; exec sleep 20\"", h));
    ASSERT_TRUE(a.Wait());
    EXPECT_FALSE(a.outcome.Failed) << a.outcome.Reason;

    Completion c;
    ASSERT_TRUE(runs.RunDosCmd(kRunTrim, "sh -c \"sleep 20; echo never\"", c.Handlers()));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const auto t0 = std::chrono::steady_clock::now();
    runs.CancelAll();
    ASSERT_TRUE(c.Wait());
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(5));
    EXPECT_TRUE(c.outcome.Failed);
    EXPECT_EQ(c.outcome.Reason, "cancelled");
}
