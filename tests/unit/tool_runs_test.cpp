#include "exec/tool_runs.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <csignal>
#include <fstream>
#include <thread>

#include "support/run_host.h"
#include "support/test_env.h"

using namespace trimora;

// Progress parsers ---------------------------------------------------------------------------

TEST(ProgressParsers, ChunkForms) {
    // chunk, cut length, splitter -> percent and text, or "-" when the chunk changes nothing
    struct Row {
        const char* chunk;
        int64_t total;
        bool splitter;
        const char* want;
    };
    const Row rows[] = {
        {"frame=  500 fps=0.0 q=-1.0 size=  1024kB time=20", 37, false, "54 20 54%"},
        // halves go to the even neighbour: 1/8 of 100 is 12.5 -> 12, 3/8 is 37.5 -> 38
        {"time=1", 8, false, "12 1 12%"},
        {"time=3", 8, false, "38 3 38%"},
        {"time=7", 0, false, "0 7 0%"}, // no length known
        {"time=00:00:05.01 bitrate=1kbits/s", 10, false, "-"},
        {"time=5.5", 10, false, "-"},
        {"time=1234567890", 10, false, "-"}, // ten characters
        {"time=", 10, false, "-"},
        {"time=5", -1, false, "-"},
        // two progress lines in one chunk: the text after the first marker is too long
        {"time=4\rframe=1 time=5", 10, false, "-"},
        {"Progress: 45%", 100, true, "45  45%"},
        {"Progress: 45%\rProgress: 46%", 100, true, "0  "},
    };
    for (const Row& r : rows) {
        const auto p = ParseTimeProgress(r.chunk, r.total, r.splitter);
        // a splitter chunk that does not read gives 0 %, whatever its text
        const std::string text = p && (p->Percent || !r.splitter) ? p->Text4 : "";
        EXPECT_EQ(p ? std::to_string(p->Percent) + " " + (r.splitter ? "" : p->Text1) + " " + text
                    : "-",
                  r.want)
            << r.chunk;
    }

    TProgressCounters c;
    EXPECT_EQ(ParsePosProgress("Pos: 12.3s", 24, c).Percent, 50);
    EXPECT_EQ(ParsePosProgress("Pos:   1.0s    25f ( 4%)", 24, c).Text1, "1");
    // unreadable: the last percent stays
    EXPECT_EQ(
        ParsePosProgress("garbage", 24, c).Percent + ParsePosProgress("Pos: 1s", 0, c).Percent, 8);
    // A mencoder join counts each file once, the first time its progress reaches 98.
    TProgressCounters j;
    j.MencoderJoin = true;
    for (const char* chunk : {"Pos: 1.0s =10", "Pos: 2.0s =98", "Pos: 3.0s =99", "Pos: 3.5s =100",
                              "Pos: 0.1s =5", "Pos: 2.0s =60", "Pos: 2.0s =98", "Pos: 2.0s =99"})
        ParseEqualsProgress(chunk, j);
    EXPECT_EQ(j.JoinFilesDone * 100 + j.LastPercent, 299);
    TProgressCounters m;
    EXPECT_EQ(ParsePercentProgress("Progress: 37%", m).Percent, 37);
    EXPECT_EQ(ParsePercentProgress("Progress: x%", m).Percent, 0);

    // The total is the cut length in a cut and a partial convert.
    EXPECT_EQ(ProgressTotal(TMode::Cut, false, 37, 600), 37);
    EXPECT_EQ(ProgressTotal(TMode::Convert, true, 37, 600), 37);
    for (const int64_t cut : {37, 0, -5})
        EXPECT_EQ(ProgressTotal(cut == 37 ? TMode::Convert : TMode::Cut, false, cut, 600), 600);
}

// Outcome ------------------------------------------------------------------------------------

TEST(RunOutcome, EveryWayARunCanEnd) {
    auto facts = [](auto change) {
        TRunFacts f;
        change(f);
        return f;
    };
    const std::pair<TRunFacts, bool> rows[] = {
        {{}, false},
        {facts([](TRunFacts& f) { f.Started = false; }), true},
        {facts([](TRunFacts& f) { f.ExitStatus = 1; }), true},
        {facts([](TRunFacts& f) { f.ExitStatus = -1, f.TermSignal = 15; }), true},
        // the splitter the program stopped itself has not failed ...
        {facts(
             [](TRunFacts& f) { f.ExitStatus = -1, f.TermSignal = 15, f.StoppedOnPurpose = true; }),
         false},
        // ... unless the user cancelled it too, or it wrote a failure text
        {facts([](TRunFacts& f) { f.TermSignal = 15, f.StoppedOnPurpose = f.Cancelled = true; }),
         true},
        {facts([](TRunFacts& f) { f.NothingWritten = true; }), true},
        {facts([](TRunFacts& f) { f.CannotAppend = true; }), true},
        // killed by Cancel, but the tool caught the signal and exited 0
        {facts([](TRunFacts& f) { f.Cancelled = true; }), true},
    };
    for (const auto& [f, failed] : rows) {
        const TRunOutcome o = DecideRunOutcome(f);
        EXPECT_EQ(o.Failed, failed) << f.ExitStatus << " " << f.TermSignal;
        EXPECT_EQ(o.Reason.empty(), !failed);
    }
    EXPECT_NE(DecideRunOutcome(facts([](TRunFacts& f) {
                  f.ExitStatus = 1;
              })).Reason.find("exit status 1"),
              std::string::npos);

    // Failure texts are found across chunks.
    TOutputWatch w, j, ok;
    w.Feed("frame=10 time=3\rvideo:0k");
    EXPECT_FALSE(w.NothingWritten());
    w.Feed("B audio:0kB subtitle:0kB");
    EXPECT_TRUE(w.NothingWritten());
    j.Feed("Error: The track number 0 from the file 'b.mkv' cannot be ap");
    j.Feed("pended to the track number 0 from the file 'a.mkv'.");
    EXPECT_TRUE(j.CannotAppend());
    ok.Feed("video:120kB audio:10kB");
    EXPECT_FALSE(ok.NothingWritten());
}

TEST(JobResult, DoneAndFailedRows) {
    trimora_test::IsolatedHome home;
    const std::string out = home.Root() + "a-Cut.mp4";
    { std::ofstream(out) << std::string(1500, 'x'); }
    TJobResultInputs in;
    in.OutputFile = out;
    in.JobId = 3;
    auto v = DecideJobResult(in);
    EXPECT_EQ(v.Status, "DONE");
    EXPECT_EQ(v.Size, 1500);
    EXPECT_EQ(v.StatusText, "Status");
    EXPECT_TRUE(v.DeleteFile.empty());

    in.Failed = true;
    v = DecideJobResult(in);
    EXPECT_EQ(v.Status, "FAILED");
    EXPECT_EQ(v.Size, 1);
    EXPECT_EQ(*v.MessageRow, "Failed! Please adjust the Start Position and try again.");
    EXPECT_EQ(v.DeleteFile, out);
    in.RemoveOutput = false;
    EXPECT_TRUE(DecideJobResult(in).DeleteFile.empty());

    in.Mode = TMode::Join;
    in.RemoveOutput = true;
    in.JoinedOutput = home.Root() + "joined.mkv";
    v = DecideJobResult(in);
    EXPECT_EQ(*v.MessageRow, "FAILED! FILE FORMATS DO NOT MATCH.");
    EXPECT_EQ(v.FullPath, in.JoinedOutput);
}

TEST(ProgressView, ByModeAndClass) {
    TTimeToStore cut;
    cut.Percent = 40;
    cut.Text4 = "40%";
    TTimeToStoreJoin pos;
    pos.Percent = 70;
    auto v = DecideProgressView({TMode::Cut, false, ".mp4", false}, cut, pos);
    EXPECT_EQ(v.Gauge, 40);
    EXPECT_FALSE(v.Status);
    v = DecideProgressView({TMode::Cut, false, ".mkv", true}, cut, pos);
    EXPECT_EQ(*v.Status, "40%");
    v = DecideProgressView({TMode::Cut, false, ".wmv", false}, cut, pos);
    EXPECT_EQ(v.Gauge, 70);
    EXPECT_TRUE(v.StopBigFileWorkerAbove2);
    v = DecideProgressView({TMode::Convert, true, ".wmv", false}, cut, pos);
    EXPECT_EQ(v.Gauge, 40);
    EXPECT_EQ(*v.Status, "Processing...");
}

// Runner slots, with small real programs as tools -----------------------------------------

namespace {

struct Completion {
    std::mutex m;
    std::condition_variable cv;
    bool done = false;
    TRunOutcome outcome;
    std::string text;
    TRunHandlers Handlers() {
        TRunHandlers h;
        h.OnText = [this](TToolRun&, const std::string& chunk) {
            std::lock_guard lock(m);
            text += chunk;
        };
        h.OnComplete = [this](TToolRun&, const TRunOutcome& o) {
            std::lock_guard lock(m);
            outcome = o;
            done = true;
            cv.notify_all();
        };
        return h;
    }
    bool Wait() {
        std::unique_lock lock(m);
        return cv.wait_for(lock, std::chrono::seconds(10), [&] { return done; });
    }
};

} // namespace

TEST(ToolRuns, OneRunPerSlotAndOutcomeOfTheExit) {
    JobState st;
    trimora_test::RecordingRunHost host;
    TToolRuns runs(st, host);
    Completion a, b;
    ASSERT_TRUE(runs.RunDosCmd(kRunTrim, "sleep 0.3", a.Handlers()));
    EXPECT_TRUE(runs.SlotBusy(kRunTrim));
    EXPECT_FALSE(runs.RunDosCmd(kRunTrim, "true", b.Handlers()));
    EXPECT_FALSE(runs.SlotBusy(kDosConvertClip));
    ASSERT_TRUE(a.Wait());
    EXPECT_FALSE(a.outcome.Failed);
    EXPECT_FALSE(runs.SlotBusy(kRunTrim));
    EXPECT_FALSE(b.done);

    Completion c;
    ASSERT_TRUE(runs.RunDosCmd(kDosConvertClip, "false", c.Handlers()));
    ASSERT_TRUE(c.Wait());
    EXPECT_TRUE(c.outcome.Failed);
}

TEST(ToolRuns, AToolThatCannotStartEndsItsJobAsFailed) {
    JobState st;
    trimora_test::RecordingRunHost host;
    TToolRuns runs(st, host);
    Completion a;
    EXPECT_FALSE(runs.RunDosCmd(kRunTrim, "/nonexistent/fcut.exe -i x", a.Handlers()));
    ASSERT_TRUE(a.done);
    EXPECT_TRUE(a.outcome.Failed);
    EXPECT_FALSE(runs.SlotBusy(kRunTrim));
    Completion empty;
    EXPECT_FALSE(runs.RunDosCmd(kRunTrim, "", empty.Handlers()));
    EXPECT_TRUE(empty.done && empty.outcome.Failed);
}

TEST(ToolRuns, FailureTextInTheOutputFailsAZeroExit) {
    JobState st;
    trimora_test::RecordingRunHost host;
    TToolRuns runs(st, host);
    Completion a;
    ASSERT_TRUE(
        runs.RunDosCmd(kRunTrim, "echo \"video:0kB audio:0kB subtitle:0kB\"", a.Handlers()));
    ASSERT_TRUE(a.Wait());
    EXPECT_TRUE(a.outcome.Failed);
    EXPECT_NE(a.text.find("video:0kB"), std::string::npos);
}

TEST(ToolRuns, StopOnPurposeIsNotAFailureButCancelIs) {
    JobState st;
    trimora_test::RecordingRunHost host;
    TToolRuns runs(st, host);
    Completion a;
    TRunHandlers h = a.Handlers();
    auto onText = h.OnText;
    h.OnText = [onText](TToolRun& run, const std::string& chunk) {
        onText(run, chunk);
        if (chunk.find("part") != std::string::npos && !run.StoppedOnPurpose()) run.StopOnPurpose();
    };
    ASSERT_TRUE(runs.RunDosCmd(kRunTrim, "sh -c \"echo part; exec sleep 20\"", h));
    ASSERT_TRUE(a.Wait());
    EXPECT_FALSE(a.outcome.Failed) << a.outcome.Reason;

    // Cancel marks the runs, then kills the tools (here: this run's tool only).
    Completion b;
    TRunHandlers hb = b.Handlers();
    hb.OnText = [&runs](TToolRun& run, const std::string&) {
        runs.MarkAllCancelled();
        ::kill(run.Process().Pid(), SIGTERM);
    };
    ASSERT_TRUE(runs.RunDosCmd(kRunTrim, "sh -c \"echo go; exec sleep 20\"", hb));
    ASSERT_TRUE(b.Wait());
    EXPECT_TRUE(b.outcome.Failed);
    EXPECT_EQ(b.outcome.Reason, "cancelled");
}

TEST(ToolRuns, UnknownKindsRunWithoutSlot) {
    JobState st;
    trimora_test::RecordingRunHost host;
    TToolRuns runs(st, host);
    Completion a;
    EXPECT_TRUE(runs.RunDosCmd("SomethingElse", "true", a.Handlers()));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_FALSE(a.done); // no handlers for a kind without a slot
    runs.AddRunKind("SomethingElse");
    Completion b;
    EXPECT_TRUE(runs.RunDosCmd("SomethingElse", "true", b.Handlers()));
    EXPECT_TRUE(b.Wait());
}

TEST(ToolRuns, CancelAllEndsTheToolsAndTheirRunsFail) {
    JobState st;
    trimora_test::RecordingRunHost host;
    TToolRuns runs(st, host);
    Completion a;
    ASSERT_TRUE(runs.RunDosCmd(kRunTrim, "sh -c \"sleep 20; echo never\"", a.Handlers()));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const auto t0 = std::chrono::steady_clock::now();
    runs.CancelAll();
    ASSERT_TRUE(a.Wait());
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(5));
    EXPECT_TRUE(a.outcome.Failed);
    EXPECT_EQ(a.outcome.Reason, "cancelled");
    EXPECT_EQ(a.text.find("never"), std::string::npos);
}

// Recorded front-end output, fed as the runner would deliver it a line at a time.
namespace {
std::vector<std::string> RecordedChunks(const std::string& name) {
    const std::string text =
        trimora_test::ReadFileBytes(trimora_test::DataDir() + "progress/" + name);
    std::vector<std::string> chunks;
    std::string chunk;
    for (char c : text) {
        chunk += c;
        if (c == '\r' || c == '\n') {
            chunks.push_back(chunk);
            chunk.clear();
        }
    }
    if (!chunk.empty()) chunks.push_back(chunk);
    return chunks;
}
} // namespace

TEST(ProgressParsers, RecordedFrontEndOutput) {
    // The encoder cutting 20 s: percents climb to 100; its summary is no failure.
    TOutputWatch watch;
    int64_t last = -1;
    int readings = 0;
    for (const auto& chunk : RecordedChunks("fcut_cut_mkv_2_to_22.txt")) {
        watch.Feed(chunk);
        if (chunk.find("time=") == std::string::npos) continue;
        if (auto p = ParseTimeProgress(chunk, 20, false)) {
            EXPECT_GE(p->Percent, last);
            last = p->Percent;
            ++readings;
        }
    }
    EXPECT_EQ(last, 100);
    EXPECT_GE(readings, 2);
    EXPECT_FALSE(watch.NothingWritten());

    // The mencoder tool cutting 20 s.
    TProgressCounters c;
    int32_t pos = -1;
    for (const auto& chunk : RecordedChunks("mcut_cut_wmv_20s.txt"))
        if (chunk.find("Pos:") != std::string::npos) pos = ParsePosProgress(chunk, 20, c).Percent;
    EXPECT_EQ(pos, 100);

    // The splitter: its percent text is shown as the status.
    std::optional<TTimeToStore> split;
    for (const auto& chunk : RecordedChunks("mmerge_split.txt"))
        if (chunk.find("Progress:") != std::string::npos)
            split = ParseTimeProgress(chunk, 20, true);
    ASSERT_TRUE(split);
    EXPECT_EQ(split->Percent, 100);
    EXPECT_EQ(split->Text4, "100%");
}
