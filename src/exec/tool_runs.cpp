#include "exec/tool_runs.h"

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <sys/types.h>
#include <thread>

#include "common/helpers.h"

namespace trimora {

// Parsers ------------------------------------------------------------------------------------

int64_t ProgressTotal(TMode mode, bool partial, int64_t cutDuration, int64_t clipDuration) {
    int64_t total =
        (mode == TMode::Cut || (mode == TMode::Convert && partial)) ? cutDuration : clipDuration;
    if (cutDuration <= 0) total = clipDuration;
    return total;
}

namespace {

// Nearest integer, halves to even.
int64_t RoundEven(double v) {
    const double f = std::floor(v);
    const double diff = v - f;
    if (diff > 0.5) return static_cast<int64_t>(f) + 1;
    if (diff < 0.5) return static_cast<int64_t>(f);
    const auto i = static_cast<int64_t>(f);
    return (i % 2 == 0) ? i : i + 1;
}

int64_t PercentOf(int64_t value, int64_t total) {
    return RoundEven(static_cast<double>(value) / static_cast<double>(total) * 100.0);
}

// Decimal digits only; values too large for the counters count as unreadable.
std::optional<int64_t> DigitsValue(const std::string& s) {
    if (!IsAllDigits(s) || s.size() > 15) return std::nullopt;
    return std::stoll(s);
}

void CountJoinFile(TProgressCounters& c) {
    if (!c.MencoderJoin) return;
    if (c.LastPercent < 50) c.JoinHighCount = 0;
    if (c.LastPercent >= 98) {
        ++c.JoinHighCount;
        if (c.JoinHighCount < 2) ++c.JoinFilesDone;
    }
}

} // namespace

std::optional<TTimeToStore> ParseTimeProgress(const std::string& chunk, int64_t total,
                                              bool matroska) {
    if (total < 0) return std::nullopt;
    TTimeToStore r;
    if (!matroska) {
        const std::string value = TextAfter(chunk, "time=");
        if (value.size() > 9) return std::nullopt;
        const auto elapsed = DigitsValue(value);
        if (!elapsed) return std::nullopt;
        const int64_t percent = total > 0 ? PercentOf(*elapsed, total) : 0;
        r.Text1 = value;
        r.Percent = percent;
        r.Text4 = std::to_string(percent) + "%";
        return r;
    }
    std::string value = TextAfter(chunk, "Progress:");
    r.Text4 = value;
    std::erase(value, '%');
    const auto percent = DigitsValue(value);
    r.Percent = percent ? *percent : 0;
    return r;
}

TTimeToStoreJoin ParsePosProgress(const std::string& chunk, int64_t total,
                                  TProgressCounters& counters) {
    std::string b;
    if (!chunk.empty()) {
        const std::string a = TextUpToLast(chunk, '.', false);
        b = TextAfterLast(a, ':', false);
        const auto seconds = DigitsValue(b);
        if (seconds && total > 0) counters.LastPercent = static_cast<int32_t>(PercentOf(*seconds, total));
    }
    TTimeToStoreJoin r;
    r.Text1 = b;
    r.Percent = counters.LastPercent;
    CountJoinFile(counters);
    return r;
}

TTimeToStoreJoin ParseEqualsProgress(const std::string& chunk, TProgressCounters& counters) {
    TTimeToStoreJoin r;
    if (chunk.empty()) return r;
    const std::string s = TextAfterLast(chunk, '=', false);
    if (const auto v = DigitsValue(s); v && *v <= 100000) counters.LastPercent = static_cast<int32_t>(*v);
    r.Text1 = s;
    r.Percent = counters.LastPercent;
    CountJoinFile(counters);
    return r;
}

TTimeToStoreJoin ParsePercentProgress(const std::string& chunk, TProgressCounters& counters) {
    TTimeToStoreJoin r;
    if (chunk.empty()) return r;
    const std::string s = TextUpToLast(TextAfter(chunk, "Progress:"), '%', false);
    const auto v = DigitsValue(s);
    counters.LastPercent = (v && *v <= 100000) ? static_cast<int32_t>(*v) : 0;
    r.Text1 = s;
    r.Percent = counters.LastPercent;
    return r;
}

// Outcome ------------------------------------------------------------------------------------

std::string ReportedCause(const std::string& text) {
    static const char* const causes[] = {
        "No space left on device", "Disk quota exceeded", "Read-only file system",
        "Permission denied",       "File name too long",  "Not a regular file",
        "No such file or directory"};
    // "<tool> is not installed: apt-get install <package>" of a front-end, the whole line
    if (const size_t at = text.find(" is not installed: apt-get install "); at != std::string::npos) {
        const size_t from = text.find_last_of("\r\n", at);
        const size_t begin = from == std::string::npos ? 0 : from + 1;
        const size_t end = std::min(text.find_first_of("\r\n", at), text.size());
        return text.substr(begin, end - begin);
    }
    for (const char* cause : causes)
        if (text.find(cause) != std::string::npos) return cause;
    return "";
}

void TOutputWatch::Feed(const std::string& chunk) {
    // Causes are looked for in whole lines (a line longer than 1 KiB is not a message).
    if (cause_.empty()) {
        line_ += chunk;
        const size_t end = line_.find_last_of("\r\n");
        if (end != std::string::npos) {
            cause_ = ReportedCause(line_.substr(0, end));
            line_.erase(0, end + 1);
        }
        if (line_.size() > 1024) line_.erase(0, line_.size() - 1024);
    }
    // Keep enough of the previous chunk that a text split between two chunks is still found.
    static const size_t keep = std::max(std::string(kNothingWrittenText).size(),
                                        std::string(kCannotAppendText).size());
    const std::string text = tail_ + chunk;
    if (text.find(kNothingWrittenText) != std::string::npos) nothingWritten_ = true;
    if (text.find(kCannotAppendText) != std::string::npos) cannotAppend_ = true;
    tail_ = text.size() > keep ? text.substr(text.size() - keep) : text;
}

TRunOutcome DecideRunOutcome(const TRunFacts& f) {
    auto failed = [&f](std::string reason) {
        if (!f.Cause.empty()) return TRunOutcome{true, f.Cause, f.Cause};
        return TRunOutcome{true, std::move(reason), ""};
    };
    if (!f.Started) return failed("the tool could not be started");
    if (f.Cancelled) return TRunOutcome{true, "cancelled", ""};
    if (f.NothingWritten) return failed("the tool wrote nothing (video:0kB audio:0kB)");
    if (f.CannotAppend) return failed("the files cannot be appended to each other");
    if (f.JobFailed) return failed("the job did not produce its output");
    if (f.StoppedOnPurpose) return {};
    if (f.TermSignal != 0) return failed("the tool was ended by signal " + std::to_string(f.TermSignal));
    if (f.ExitStatus != 0)
        return failed("the tool ended with exit status " + std::to_string(f.ExitStatus));
    return {};
}

// Run controls, progress and result ----------------------------------------------------------

void BeginRunControls(JobState& /*state*/, TRunHost& host) { host.BeginRunControls(); }

void EndRunControls(JobState& state, TRunHost& host) {
    state.BuildOnly = true;
    host.EndRunControls();
}

TProgressView DecideProgressView(const TProgressInputs& in, const TTimeToStore& cutProgress,
                                 const TTimeToStoreJoin& posProgress) {
    TProgressView v;
    if ((in.Mode == TMode::Cut || in.Mode == TMode::Convert) && in.SoundOnly) {
        v.Gauge = static_cast<int>(cutProgress.Percent);
        v.Status = "Processing...";
        return v;
    }
    const bool mencoder = ContainsNoCase(in.InputExt, "wmv") || ContainsNoCase(in.InputExt, "asf");
    if (in.Mode == TMode::Cut && !mencoder) {
        v.Gauge = static_cast<int>(cutProgress.Percent);
        if (in.Matroska) v.Status = cutProgress.Text4;
    } else if (in.Mode == TMode::Cut) {
        v.Gauge = posProgress.Percent;
        v.StopBigFileWorkerAbove2 = true;
    } else if (in.Mode == TMode::Convert) {
        v.Gauge = static_cast<int>(cutProgress.Percent);
    } else {
        v.Gauge = posProgress.Percent;
    }
    return v;
}

void ShowProgress(TRunHost& host, const TProgressView& view) {
    host.Post([&host, view] {
        host.SetGauge(view.Gauge);
        if (view.Status) host.SetStatusText(*view.Status);
        if (view.StopBigFileWorkerAbove2 && view.Gauge > 2 && host.IsBigFileWorkerRunning()) {
            host.StopBigFileWorker();
            host.SetStatusText("Processing...");
        }
    });
}

TJobResultView DecideJobResult(const TJobResultInputs& in) {
    TJobResultView v;
    if (in.Failed) {
        const bool join = in.Mode == TMode::Join;
        v.Status = "FAILED";
        v.FullPath = join ? in.JoinedOutput : in.OutputFile;
        v.Size = 1;
        const std::string cause = in.Cause.empty() ? "" : " (" + in.Cause + ")";
        if (in.Mode == TMode::Cut) v.MessageRow = kCutFailedMessage + cause;
        else if (join) v.MessageRow = kJoinFailedMessage + cause;
        else v.MessageRow = "Failed! " + in.FailReason;
        v.StatusText = "Failed!" + cause;
        if (in.RemoveOutput) v.DeleteFile = v.FullPath;
        return v;
    }
    v.Status = "DONE";
    v.FullPath = in.Mode == TMode::Join ? in.JoinedOutput : in.OutputFile;
    v.Size = v.FullPath.empty() ? 0 : std::max<int64_t>(0, GetFileSize64(v.FullPath));
    v.StatusText = "Status";
    return v;
}

void ShowJobResult(TRunHost& host, const TJobResultInputs& given) {
    TJobResultInputs in = given;
    if (in.Files) {
        std::string reason;
        if (!in.Failed && !in.Files->Commit(reason, in.CommitFrom)) {
            in.Failed = true;
            in.FailReason = reason;
        }
        in.RemoveOutput = false; // the job's own files go with Finish, nobody else's
        in.Files->Finish();
    }
    const TJobResultView v = DecideJobResult(in);
    if (!v.DeleteFile.empty()) std::remove(v.DeleteFile.c_str());
    const int id = in.JobId;
    const bool failed = in.Failed;
    const std::string reason = in.FailReason;
    host.Post([&host, v, id, failed, reason] {
        if (v.MessageRow) host.SetMessageRow(*v.MessageRow);
        host.SetRowStatus(id, v.Status, v.FullPath, v.Size);
        host.SetStatusText(v.StatusText);
        host.JobEnded(id, failed, reason);
    });
}

// Runs ---------------------------------------------------------------------------------------

namespace {
// The process still runs (it has neither been reaped nor become a zombie).
bool StillRunning(int pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text;
    if (!std::getline(stat, text)) return false;
    const size_t paren = text.rfind(')');
    return paren != std::string::npos && paren + 2 < text.size() && text[paren + 2] != 'Z';
}
} // namespace

void TToolRun::StopOnPurpose() {
    // A tool that has already ended keeps its own exit status as its outcome.
    const int pid = process_.Pid();
    if (pid <= 0 || process_.Finished() || !StillRunning(pid)) return;
    stoppedOnPurpose_ = true;
    if (::kill(-pid, SIGTERM) != 0) ::kill(pid, SIGTERM);
}

TRunFacts TToolRun::Facts() const {
    TRunFacts f;
    f.Started = started_;
    f.Cancelled = cancelled_;
    f.StoppedOnPurpose = stoppedOnPurpose_;
    f.ExitStatus = process_.ExitStatus();
    f.TermSignal = process_.TermSignal();
    f.NothingWritten = watch_.NothingWritten();
    f.CannotAppend = watch_.CannotAppend();
    f.JobFailed = jobFailed_;
    f.Cause = watch_.Cause();
    return f;
}

TToolRuns::TToolRuns(JobState& state, TRunHost& host) : state_(state), host_(host) {}

TToolRuns::~TToolRuns() {
    // A run that just ended may still be inside its completion handler on its waiting thread.
    while (completing_ > 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::map<std::string, std::shared_ptr<TToolRun>> slots;
    std::list<std::shared_ptr<TToolRun>> others, finished;
    {
        std::lock_guard lock(slotsMutex_);
        slots.swap(slots_);
        others.swap(unslotted_);
        finished.swap(finished_);
    }
    for (auto& [kind, run] : slots) run->process_.Stop(true);
    for (auto& run : others) run->process_.Stop(true);
}

bool TToolRuns::SlotBusy(const std::string& kind) const {
    std::lock_guard lock(slotsMutex_);
    return slots_.count(kind) != 0;
}

void TToolRuns::AddRunKind(const std::string& kind) {
    std::lock_guard lock(slotsMutex_);
    kinds_.insert(kind);
}

void TToolRuns::MarkAllCancelled() {
    ++cancelCount_;
    std::lock_guard lock(slotsMutex_);
    for (auto& [kind, run] : slots_) run->cancelled_ = true;
    for (auto& run : unslotted_) run->cancelled_ = true;
}

void TToolRuns::CancelAll() {
    ++cancelCount_;
    std::lock_guard lock(slotsMutex_);
    auto cancel = [](TToolRun& run) {
        run.cancelled_ = true;
        const int pid = run.process_.Pid();
        if (pid > 0 && !run.process_.Finished() && ::kill(-pid, SIGTERM) != 0)
            ::kill(pid, SIGTERM);
    };
    for (auto& [kind, run] : slots_) cancel(*run);
    for (auto& run : unslotted_) cancel(*run);
}

void TToolRuns::ReleaseFinished() {
    std::list<std::shared_ptr<TToolRun>> done;
    {
        std::lock_guard lock(slotsMutex_);
        done.swap(finished_);
    }
    // Destroyed here on the GUI thread, never on the run's own waiting thread.
}

bool TToolRuns::RunDosCmd(const std::string& kind, const std::string& command,
                          TRunHandlers handlers, const std::string& currentFolder) {
    auto run = std::make_shared<TToolRun>();
    TToolRun* raw = run.get();
    run->kind_ = kind;
    {
        std::lock_guard lock(slotsMutex_);
        if (kinds_.count(kind)) {
            if (slots_.count(kind)) return false;
            slots_[kind] = run;
        } else {
            unslotted_.push_back(run);
            handlers = {};
        }
    }
    // Takes the run out of its slot (or the unslotted list) into the list of finished runs.
    auto retire = [this, raw] {
        std::lock_guard lock(slotsMutex_);
        std::shared_ptr<TToolRun> keep;
        if (auto it = slots_.find(raw->kind_); it != slots_.end() && it->second.get() == raw) {
            keep = it->second;
            slots_.erase(it);
        }
        for (auto it = unslotted_.begin(); it != unslotted_.end(); ++it)
            if (it->get() == raw) {
                keep = *it;
                unslotted_.erase(it);
                break;
            }
        if (keep) finished_.push_back(std::move(keep));
    };

    auto onText = handlers.OnText;
    raw->process_.CmdLine = command;
    raw->process_.OnProcessText = [raw, onText](TDosCmdProcess& sender, const std::string& text) {
        sender.Lock();
        raw->watch_.Feed(text);
        if (onText) onText(*raw, text);
        sender.Unlock();
    };
    auto onComplete = handlers.OnComplete;
    raw->process_.OnProcessComplete = [this, raw, retire, onComplete](TDosCmdProcess&) {
        ++completing_;
        retire();
        if (onComplete) onComplete(*raw, DecideRunOutcome(raw->Facts()));
        host_.Post([this] { ReleaseFinished(); });
        --completing_;
    };

    raw->started_ = true;
    if (raw->process_.Run(currentFolder)) return true;

    raw->started_ = false;
    retire();
    if (onComplete) onComplete(*raw, DecideRunOutcome(raw->Facts()));
    host_.Post([this] { ReleaseFinished(); });
    return false;
}

} // namespace trimora
