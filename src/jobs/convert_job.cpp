#include "jobs/convert_job.h"

#include "common/helpers.h"
#include "jobs/trim.h"

#include <chrono>

namespace trimora {

namespace {

TimePoint Now() { return std::chrono::system_clock::now(); }

// Where the progress of a run is measured against: the range when one is set, else the clip.
int64_t RangeOrClipTotal(const JobState& st) {
    return !st.SeekArgs.empty() && st.CutDuration > 0 ? st.CutDuration : st.ClipDuration;
}

} // namespace

bool ConvertClip(TConvertJob& job, int64_t length, TJobContext& ctx) {
    JobState& st = ctx.State;
    TRunHost& host = ctx.Runs.Host();
    if (!st.StartupDone) return false;
    const bool run = !st.BuildOnly;

    BuildConvertFragment(job.Options, ctx.Info, job.Pieces);
    st.ConvertTypeText = job.Options.ConvertType;
    // A device item's suffix is the target type the pending row and the progress go by.
    st.ConvertType = job.Pieces.OutputExt;
    st.CutTimeText = FormatSeconds(length);

    // The output name is made again for a run too: a name chosen when the options last changed
    // may have been taken since (by the previous conversion), and the encoder would overwrite it.
    AddPendingRow(st, ctx.List);

    TConvertCommandInputs in;
    in.FfmpegCommand = st.FfmpegCommand;
    in.ThreadsOption = st.ThreadsOption;
    in.MencoderCommand = st.MencoderCommand;
    in.Partial = st.Partial;
    in.SeekArgs = st.SeekArgs;
    in.EndPosPiece = st.EndPosPiece;
    in.EdlPiece = st.EdlPiece;
    in.InputFile = st.InputFile;
    in.OutputFile = st.OutputFile;
    TJobFilesPtr files;
    if (run && !ctx.Runs.SlotBusy(kDosConvertClip)) {
        // The run reserves its output name and has the tool write a private file beside it.
        files = std::make_shared<TJobFiles>();
        const std::string reserved = files->ReserveOutput(st.OutputFile);
        if (!reserved.empty()) {
            st.OutputFile = reserved;
            in.OutputFile = files->MakePrivateFile();
        }
        if (files->Ok() && !in.EdlPiece.empty()) {
            const std::string edl = files->WorkFolder() + "qvcut.edl";
            in.EdlPiece = EdlPieceFor(edl);
            WriteEdlFile(edl, st.CutStartSeconds);
        }
    }
    const std::string command = BuildConvertCommand(in, job.Pieces);
    host.ClearMemo();
    host.AppendMemo(command);
    if (!run) return false;
    if (ctx.Runs.SlotBusy(kDosConvertClip)) return false;

    // BuildOnly stays set (AddPendingRow set it): the run has been launched, and a preview
    // refresh during the run must not launch another one.
    st.JobCounter += 1;
    BeginRunControls(st, host);
    const TimePoint start = Now();
    ctx.Runs.ConvertStartTime = start;

    const bool mencoder = IsMencoderFormat(st.ConvertType);
    const int64_t total = ProgressTotal(TMode::Convert, st.Partial, st.CutDuration, st.ClipDuration);
    const int jobId = st.JobCounter;
    const std::string output = st.OutputFile;
    TToolRuns* runs = &ctx.Runs;
    JobState* state = &st;

    TRunHandlers handlers;
    handlers.OnText = [runs, mencoder, total](TToolRun&, const std::string& chunk) {
        int percent = -1;
        if (mencoder) {
            if (chunk.find("Pos:") == std::string::npos) return;
            std::lock_guard lock(runs->ProgressMutex());
            runs->PosProgress = ParsePosProgress(chunk, total, runs->Counters);
            percent = runs->PosProgress.Percent;
        } else {
            if (chunk.find("time=") == std::string::npos) return;
            // The encoder reports "time=" whatever the source is, a Matroska one included.
            const auto parsed = ParseTimeProgress(chunk, total, false);
            if (!parsed) return;
            std::lock_guard lock(runs->ProgressMutex());
            runs->CutProgress = *parsed;
            percent = static_cast<int>(parsed->Percent);
        }
        TRunHost& host = runs->Host();
        host.Post([&host, percent] { host.SetGauge(percent); });
    };
    handlers.OnComplete = [runs, state, jobId, output, start, files](TToolRun&,
                                                                     const TRunOutcome& outcome) {
        TRunHost& host = runs->Host();
        host.Post([runs, state, failed = outcome.Failed] {
            state->RunFailed = failed;
            EndRunControls(*state, runs->Host());
        });
        TJobResultInputs result;
        result.Mode = TMode::Convert;
        result.Failed = outcome.Failed;
        result.FailReason = outcome.Reason;
        result.Cause = outcome.Cause;
        result.OutputFile = output;
        result.JobId = jobId;
        result.Files = files;
        ShowJobResult(host, result);
        const std::string line = kConvertFinishedText + FormatElapsed(Now(), start);
        host.Post([&host, line] { host.AppendMemo(line); });
    };
    if (!files->Ok()) {
        // No name could be reserved: the job fails as a tool that could not start would.
        TToolRun none;
        handlers.OnComplete(none, TRunOutcome{true, files->Error(), ""});
        return false;
    }
    return ctx.Runs.RunDosCmd(kDosConvertClip, command, std::move(handlers));
}

// Audio extraction ---------------------------------------------------------------------------

struct TAudioJob::Run {
    int JobId = 0;
    TMode Mode = TMode::Cut;
    std::string OutputFile;
    int64_t Total = 0;
    TimePoint Start{};
    TOutputWatch Watch; // under the runner's lock
    int CancelCountAtStart = 0;
    TJobFilesPtr Files;
};

void TAudioJob::AttachTo(ExtraRunHost& host, TToolRuns& runs, JobState& state) {
    runs_ = &runs;
    state_ = &state;
    host.AudioText = [this](TDosCmdProcess& sender, const std::string& text) {
        OnText(sender, text);
    };
    host.AudioComplete = [this](TDosCmdProcess& sender) { OnComplete(sender); };
}

bool TAudioJob::ExtractAudio(TJobContext& ctx, TExtraRuns& extraRuns) {
    JobState& st = ctx.State;
    TRunHost& host = ctx.Runs.Host();
    if (!st.StartupDone) return false;
    if (ctx.Info.NoAudio) {
        host.ShowMessage(kNoAudioMessage);
        // Start has already readied the run controls; nothing will run, so back to idle.
        if (!st.BuildOnly) EndRunControls(st, host);
        return false;
    }
    host.ClearMemo();

    TAudioCommandInputs in;
    in.FfmpegCommand = st.FfmpegCommand;
    in.SeekArgs = st.SeekArgs;
    in.InputFile = st.InputFile;
    in.SaveConvertFolder = st.SaveConvertFolder;
    BuildAudioCommand(Options, in, Pieces);
    st.OutputFile = Pieces.AudioOutput;
    // The pending row names the same file as the command.
    st.AudioTypeText = NormalizedAudioType(Options.AudioType);
    host.AppendMemo(Pieces.AudioCommand);

    if (st.BuildOnly) {
        AddAudioPendingRow(st, ctx.List);
        return false;
    }
    st.BuildOnly = true; // launched; later refreshes only prepare
    if (extraRuns.IsRunning(kDosExtractAudio)) return false;

    // The run reserves its output name and has the encoder write a private file beside it.
    auto files = std::make_shared<TJobFiles>();
    in.ReservedOutput = files->ReserveOutput(Pieces.AudioOutput);
    if (!in.ReservedOutput.empty()) in.ToolOutput = files->MakePrivateFile();
    if (files->Ok()) {
        BuildAudioCommand(Options, in, Pieces);
        st.OutputFile = Pieces.AudioOutput;
        host.ClearMemo();
        host.AppendMemo(Pieces.AudioCommand);
    }

    // Start counted this job already: its row is the pending one, named afresh.
    ctx.List.SetRowCaption(FileNameOf(st.OutputFile), st.JobCounter, 0, st.OutputFile);
    ctx.List.SetRowStatus(TJobStatus::Pending, st.OutputFile, 0, st.JobCounter);

    BeginRunControls(st, host);
    auto run = std::make_shared<Run>();
    run->JobId = st.JobCounter;
    run->Mode = st.Mode;
    run->OutputFile = st.OutputFile;
    run->Total = RangeOrClipTotal(st);
    run->Start = Now();
    run->CancelCountAtStart = ctx.Runs.CancelCount();
    run->Files = files;
    {
        std::lock_guard lock(mutex_);
        current_ = run;
    }
    if (files->Ok() && extraRuns.StartExtraRun(Pieces.AudioCommand, kDosExtractAudio)) return true;

    // The tool could not be started: no handler will run, so the job ends here.
    {
        std::lock_guard lock(mutex_);
        if (current_ == run) current_.reset();
    }
    TRunFacts facts;
    facts.Started = false;
    Finish(run, facts);
    return false;
}

void TAudioJob::OnText(TDosCmdProcess& sender, const std::string& text) {
    sender.Lock();
    std::shared_ptr<Run> run;
    {
        std::lock_guard lock(mutex_);
        run = current_;
    }
    if (run && runs_) {
        run->Watch.Feed(text);
        if (text.find("time=") != std::string::npos) {
            if (const auto parsed = ParseTimeProgress(text, run->Total, false)) {
                TTimeToStore cut;
                TTimeToStoreJoin pos;
                {
                    std::lock_guard lock(runs_->ProgressMutex());
                    runs_->CutProgress = *parsed;
                    cut = runs_->CutProgress;
                    pos = runs_->PosProgress;
                }
                TProgressInputs in;
                in.Mode = run->Mode;
                in.SoundOnly = true;
                ShowProgress(runs_->Host(), DecideProgressView(in, cut, pos));
            }
        }
    }
    sender.Unlock();
}

void TAudioJob::OnComplete(TDosCmdProcess& sender) {
    std::shared_ptr<Run> run;
    {
        std::lock_guard lock(mutex_);
        run = std::move(current_);
    }
    if (!run) return;
    TRunFacts facts;
    facts.Started = sender.Started();
    facts.ExitStatus = sender.ExitStatus();
    facts.TermSignal = sender.TermSignal();
    sender.Lock(); // the reader has delivered every chunk, but the watch is written under it
    facts.NothingWritten = run->Watch.NothingWritten();
    facts.Cause = run->Watch.Cause();
    sender.Unlock();
    facts.Cancelled = runs_ && runs_->CancelCount() != run->CancelCountAtStart;
    Finish(run, facts);
}

void TAudioJob::Finish(const std::shared_ptr<Run>& run, const TRunFacts& facts) {
    if (!runs_ || !state_) return;
    TRunHost& host = runs_->Host();
    const TRunOutcome outcome = DecideRunOutcome(facts);
    JobState* state = state_;
    host.Post([&host, state, failed = outcome.Failed] {
        if (host.IsBigFileWorkerRunning()) host.StopBigFileWorker();
        state->RunFailed = failed;
        EndRunControls(*state, host);
    });
    TJobResultInputs result;
    result.Mode = run->Mode;
    result.Failed = outcome.Failed;
    result.FailReason = outcome.Reason;
    result.Cause = outcome.Cause;
    result.OutputFile = run->OutputFile;
    result.JobId = run->JobId;
    result.Files = run->Files;
    if (run->Files && !run->Files->Ok() && result.Failed) result.FailReason = run->Files->Error();
    ShowJobResult(host, result);
}

} // namespace trimora
