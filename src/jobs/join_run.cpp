#include "jobs/join_run.h"

#include <chrono>
#include <memory>

namespace trimora {

namespace {

// What a join run needs after its start, copied so that the runner threads never read the job
// state.
struct TJoinRunPlan {
    int JobId = 0;
    std::string Command;
    std::string JoinedOutput;
    bool ByMencoder = false;
    bool ByMerge = false;
    TimePoint Start{};
    TJobFilesPtr Files;
};

// GUI thread: the join ended without its tool having run to the end (the normalising clip failed,
// or the join's slot was busy): the row fails like a failed join.
void FailJoin(TToolRuns& runs, TJoinListFileMon* monitor, const TJoinRunPlan& plan,
              const std::string& reason) {
    if (monitor && monitor->IsWorkerRunning()) monitor->StopWorker();
    runs.State().RunFailed = true;
    EndRunControls(runs.State(), runs.Host());
    TJobResultInputs in;
    in.Mode = TMode::Join;
    in.Failed = true;
    in.FailReason = reason;
    in.OutputFile = plan.JoinedOutput;
    in.JoinedOutput = plan.JoinedOutput;
    in.JobId = plan.JobId;
    in.Files = plan.Files;
    ShowJobResult(runs.Host(), in);
}

void StartJoinRun(TToolRuns& runs, TJoinListFileMon* monitor, const TJoinRunPlan& plan) {
    if (runs.SlotBusy(kJoinFormList)) {
        FailJoin(runs, monitor, plan, "a join is already running");
        return;
    }
    TRunHandlers handlers;
    handlers.OnText = [&runs, plan](TToolRun& run, const std::string& chunk) {
        {
            std::lock_guard<std::mutex> lock(runs.ProgressMutex());
            // A chunk may hold several progress texts, or the last one followed by the tool's
            // closing lines: each text counts on its own, so no finished file is missed.
            if (plan.ByMencoder && chunk.find("Pos:") != std::string::npos) {
                size_t from = 0;
                while (from < chunk.size()) {
                    size_t end = chunk.find_first_of("\r\n", from);
                    if (end == std::string::npos) end = chunk.size();
                    const std::string piece = chunk.substr(from, end - from);
                    if (piece.find("Pos:") != std::string::npos)
                        runs.PosProgress = ParseEqualsProgress(piece, runs.Counters);
                    from = end + 1;
                }
            }
            if (plan.ByMerge && chunk.find("Progress:") != std::string::npos)
                runs.PosProgress = ParsePercentProgress(chunk, runs.Counters);
        }
        // The splitter refuses clips whose tracks differ; it may still leave a file behind.
        if (plan.ByMerge && run.Watch().CannotAppend()) run.MarkFailed();
    };
    handlers.OnComplete = [&runs, monitor, plan](TToolRun&, const TRunOutcome& outcome) {
        TRunHost& host = runs.Host();
        // The log line goes with the first effects, so it is there when the row turns final.
        std::string log;
        if (!outcome.Failed)
            log = kJoinFinishedLog + FormatElapsed(std::chrono::system_clock::now(), plan.Start);
        host.Post([&runs, monitor, failed = outcome.Failed, log] {
            if (monitor && monitor->IsWorkerRunning()) monitor->StopWorker();
            runs.State().RunFailed = failed;
            EndRunControls(runs.State(), runs.Host());
            if (!log.empty()) runs.Host().AppendMemo(log);
        });
        TJobResultInputs in;
        in.Mode = TMode::Join;
        in.Failed = outcome.Failed;
        in.FailReason = outcome.Reason;
        in.Cause = outcome.Cause;
        in.OutputFile = plan.JoinedOutput;
        in.JoinedOutput = plan.JoinedOutput;
        in.JobId = plan.JobId;
        in.Files = plan.Files;
        ShowJobResult(host, in);
    };
    runs.RunDosCmd(kJoinFormList, plan.Command, std::move(handlers));
}

} // namespace

TJoinMonitorView ReadJoinMonitorView(TToolRuns& runs) {
    const JobState& st = runs.State();
    TJoinMonitorView v;
    v.JoinFileType = st.JoinFileType;
    v.JoinByMencoder = st.JoinByMencoder;
    v.JoinByMerge = st.JoinByMerge;
    v.FileCount = st.JoinFileCount;
    v.JoinCountText = st.JoinCountText;
    std::lock_guard<std::mutex> lock(runs.ProgressMutex());
    v.FilesDone = runs.Counters.JoinFilesDone;
    v.Percent = runs.PosProgress.Percent;
    v.JoinStart = runs.JoinStartTime;
    return v;
}

TJoinListFileMon::Host JoinMonitorHost(TToolRuns& runs) {
    TJoinListFileMon::Host h;
    h.Post = [&runs](std::function<void()> fn) { runs.Host().Post(std::move(fn)); };
    h.Read = [&runs] { return ReadJoinMonitorView(runs); };
    h.SetStatus = [&runs](const std::string& text) { runs.Host().SetStatusText(text); };
    h.SetGauge = [&runs](int percent) { runs.Host().SetGauge(percent); };
    return h;
}

std::string JoinStartedStatus(const JobState& state) {
    return "Processing file #1 of " + state.JoinCountText;
}

bool JoinClips(const TJoinListSnapshot& list, TToolRuns& runs, TJoinListFileMon* monitor) {
    JobState& st = runs.State();
    TRunHost& host = runs.Host();
    if (!st.StartupDone) return false;
    if (CountCheckedRows(list) < 2) {
        host.ShowMessage(kJoinTooFewFiles);
        EndRunControls(st, host);
        return false;
    }
    if (runs.SlotBusy(kJoinFormList) || runs.SlotBusy(kDosNormalizedFrame)) return false;

    st.JobCounter += 1;
    const TimePoint start = std::chrono::system_clock::now();
    {
        std::lock_guard<std::mutex> lock(runs.ProgressMutex());
        runs.Counters.JoinFilesDone = 0;
        runs.Counters.JoinHighCount = 0;
        runs.Counters.LastPercent = 0;
        runs.PosProgress = TTimeToStoreJoin{};
        runs.JoinStartTime = start;
    }
    BeginRunControls(st, host);
    host.SetStatusText("");

    auto files = std::make_shared<TJobFiles>();
    const TJoinBuildResult built = BuildJoinCommand(list, st, files.get());
    host.ClearMemo();
    for (const auto& line : built.MemoLines)
        host.AppendMemo(line);
    {
        std::lock_guard<std::mutex> lock(runs.ProgressMutex());
        runs.Counters.MencoderJoin = st.JoinByMencoder;
    }

    TJoinRunPlan plan;
    plan.JobId = st.JobCounter;
    plan.Command = built.Command;
    plan.JoinedOutput = st.JoinedOutput;
    plan.ByMencoder = st.JoinByMencoder;
    plan.ByMerge = st.JoinByMerge;
    plan.Start = start;
    plan.Files = files;

    if (!built.Error.empty() || !files->Ok()) {
        FailJoin(runs, monitor, plan, built.Error.empty() ? files->Error() : built.Error);
        return false;
    }
    if (built.Command.empty()) {
        files->Finish();
        // No tool joins this format: say so instead of leaving the job running for ever.
        host.SetMessageRow("No tool joins " + st.JoinExt + " files");
        host.SetRowStatus(plan.JobId, JobStatusText(TJobStatus::Failed), st.JoinedOutput, 1);
        st.RunFailed = true;
        EndRunControls(st, host);
        host.SetStatusText("Failed!");
        return false;
    }

    if (JoinFamilyOf(st.JoinExt) == TJoinFamily::Avi && !list.Nosound) {
        // The join reads the normalising clip, so it starts once that clip is complete.
        runs.AddRunKind(kDosNormalizedFrame);
        TRunHandlers norm;
        norm.OnComplete = [&runs, monitor, plan](TToolRun&, const TRunOutcome& outcome) {
            runs.Host().Post([&runs, monitor, plan, outcome] {
                runs.Host().AppendMemo(kNormalizedDoneLog);
                if (outcome.Failed)
                    FailJoin(runs, monitor, plan,
                             "the normalising clip could not be made (" + outcome.Reason + ")");
                else
                    StartJoinRun(runs, monitor, plan);
            });
        };
        runs.RunDosCmd(kDosNormalizedFrame, st.NormCommand, std::move(norm));
    } else {
        StartJoinRun(runs, monitor, plan);
    }
    if (monitor) monitor->StartWorker();
    return true;
}

} // namespace trimora
