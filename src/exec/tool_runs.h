#pragma once
// Tool runs as jobs: one runner slot per job kind, the progress records and their parsers, the
// decision whether a run succeeded, and the window effects of a run (gauge, status label, row
// status, command memo, message box) behind TRunHost, which the window and the command-line mode
// implement.
//
// Threads: the text handler of a run is called on the runner's reader thread while it holds the
// runner's lock; the completion handler on its waiting thread. Neither may touch the job state or
// the host directly: they queue work with TRunHost::Post, which the host runs on its GUI thread.

#include <atomic>
#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>

#include "common/helpers.h"
#include "common/job_state.h"
#include "common/safe_output.h"
#include "exec/dos_cmd_process.h"

namespace trimora {

// Job runner kinds (exact texts). A TToolRuns keeps one slot for each of these and for the kinds
// added with AddRunKind; a command run under any other name gets no slot and no handlers.
inline constexpr const char* kRunTrim = "RunTrim";
inline constexpr const char* kDosConvertClip = "DosConvertClip";
inline constexpr const char* kJoinFormList = "JoinFormList";

// Progress records ------------------------------------------------------------------------------

struct TTimeToStore {
    std::string Text1; // the parsed value text
    std::string Text2, Text3;
    std::string Text4; // the percent text ("54%", or the splitter's own "45%")
    std::string Text5, Text6;
    int64_t Percent = 0;
};

struct TTimeToStoreJoin {
    std::string Text1; // the parsed value text
    std::string Text2;
    int32_t Percent = 0;
};

struct TTimeToStoreDemux {
    std::string Text1;
    int32_t Value = 0;
};

// Counters the mencoder and join parsers carry from chunk to chunk (and from job to job).
struct TProgressCounters {
    int32_t LastPercent = 0;
    int32_t JoinFilesDone = 0;  // files of a multi-file join whose progress reached 98 %
    int32_t JoinHighCount = 0;  // chunks at 98 % or more since the progress last fell below 50 %
    bool MencoderJoin = false;  // the join runs through the mencoder tool (set by the join)
};

// The 100 % mark: the cut length in the cut mode and in a partial convert, else the clip length;
// the clip length also when the cut length is not positive.
int64_t ProgressTotal(TMode mode, bool partial, int64_t cutDuration, int64_t clipDuration);

// "time=<whole seconds>" of the encoder, or for a Matroska source "Progress: N%" of the splitter.
// Empty when the value cannot be read (longer than 9 characters, not a whole number, negative
// total): the caller then keeps its previous record.
std::optional<TTimeToStore> ParseTimeProgress(const std::string& chunk, int64_t total,
                                              bool matroska);
// "Pos: 12.3s" of the mencoder tool: the digits between the last ':' and the last '.'.
TTimeToStoreJoin ParsePosProgress(const std::string& chunk, int64_t total,
                                  TProgressCounters& counters);
// The percent after the last '=' of a mencoder join chunk.
TTimeToStoreJoin ParseEqualsProgress(const std::string& chunk, TProgressCounters& counters);
// "Progress: N%" of a splitter join.
TTimeToStoreJoin ParsePercentProgress(const std::string& chunk, TProgressCounters& counters);

// Outcome of a run -------------------------------------------------------------------------------

// Texts in a tool's output that mean the run failed although the tool may end normally.
inline constexpr const char* kNothingWrittenText = "video:0kB audio:0kB";
inline constexpr const char* kCannotAppendText = "cannot be appended";

// The cause a tool or the system reported in a text ("No space left on device", "Permission
// denied", "ffmpeg is not installed: apt-get install ffmpeg", ...), or empty.
std::string ReportedCause(const std::string& text);

// Finds the failure texts in a stream of chunks, also when a text is split between two chunks.
class TOutputWatch {
  public:
    void Feed(const std::string& chunk);
    bool NothingWritten() const { return nothingWritten_; }
    bool CannotAppend() const { return cannotAppend_; }
    // The first cause the tool reported (ReportedCause), or empty.
    const std::string& Cause() const { return cause_; }

  private:
    std::string tail_, line_;
    bool nothingWritten_ = false, cannotAppend_ = false;
    std::string cause_;
};

struct TRunFacts {
    bool Started = true;            // the process could be created
    bool Cancelled = false;         // the user cancelled the job
    bool StoppedOnPurpose = false;  // the program itself ended the tool (the mkv splitter's stop)
    int ExitStatus = 0;             // exit code; -1 when ended by a signal
    int TermSignal = 0;             // signal number, 0 when the tool exited
    bool NothingWritten = false;    // "video:0kB audio:0kB" in the output
    bool CannotAppend = false;      // "cannot be appended" in the output
    bool JobFailed = false;         // the job's own handler found a failure (RunFailed)
    std::string Cause{};            // what the tool or the system reported (TOutputWatch::Cause)
};

struct TRunOutcome {
    bool Failed = false;
    std::string Reason; // empty when not failed; a short text for "FAILED <reason>" otherwise
    std::string Cause;  // of a failure, what the tool or the system reported; empty otherwise
};

// The one place that decides whether a run failed: not started, cancelled, a failure text, a
// failure seen by the job, a signal or a non-zero exit status. A tool the program stopped on
// purpose has not failed by its ending.
TRunOutcome DecideRunOutcome(const TRunFacts& facts);

// Window effects ------------------------------------------------------------------------------

// What a run shows. Post() may be called from any thread and queues the function to run on the
// host's GUI thread (it may return before the function has run). Every other method is called on
// the GUI thread only, from functions queued by Post() or from the GUI thread's own calls.
class TRunHost {
  public:
    virtual ~TRunHost() = default;
    virtual void Post(std::function<void()> fn) = 0;

    virtual void SetGauge(int percent) = 0;                 // GaugeMain
    virtual void SetStatusText(const std::string& text) = 0; // lblStatus
    // Message row (ID 101) caption.
    virtual void SetMessageRow(const std::string& caption) = 0;
    // Job row `id`: status, full path and size (size <= 0 leaves the Size column empty).
    virtual void SetRowStatus(int id, const std::string& status, const std::string& fullPath,
                              int64_t size) = 0;
    virtual void ClearMemo() = 0;                          // MemoCode
    virtual void AppendMemo(const std::string& line) = 0;  // MemoCode
    virtual void ShowMessage(const std::string& text) = 0; // modal information box
    // Gauge to 0 and Start disabled (a run begins); gauge to 0 and hidden, Start enabled and the
    // status "Ready" (a run ends). The job state's BuildOnly is set by the core.
    virtual void BeginRunControls() = 0;
    virtual void EndRunControls() = 0;
    // The big-file seek monitor (a worker of the window); nothing by default.
    virtual bool IsBigFileWorkerRunning() { return false; }
    virtual void StopBigFileWorker() {}
    // A job's result has been written to its row (after SetRowStatus); reason is empty when it
    // succeeded. Nothing by default (the command line ends its wait here).
    virtual void JobEnded(int /*id*/, bool /*failed*/, const std::string& /*reason*/) {}
};

// Job-state side of the run controls; call on the GUI thread.
void BeginRunControls(JobState& state, TRunHost& host);
void EndRunControls(JobState& state, TRunHost& host);

// Progress display --------------------------------------------------------------------------

// What ShowProgress puts on screen, decided from plain values.
struct TProgressView {
    int Gauge = 0;
    std::optional<std::string> Status; // a new lblStatus text, if any
    bool StopBigFileWorkerAbove2 = false; // stop the big-file monitor when the gauge passes 2
};

struct TProgressInputs {
    TMode Mode = TMode::Cut;
    bool SoundOnly = false;
    std::string InputExt;   // lower case, with its point
    bool Matroska = false;  // the source's extension is ".mkv" in any letter case
};

TProgressView DecideProgressView(const TProgressInputs& in, const TTimeToStore& cutProgress,
                                 const TTimeToStoreJoin& posProgress);
// Queues the view to the GUI thread: gauge, status text, the big-file monitor's stop.
void ShowProgress(TRunHost& host, const TProgressView& view);

// Job result --------------------------------------------------------------------------------

inline constexpr const char* kCutFailedMessage =
    "Failed! Please adjust the Start Position and try again.";
inline constexpr const char* kJoinFailedMessage = "FAILED! FILE FORMATS DO NOT MATCH.";

struct TJobResultInputs {
    TMode Mode = TMode::Cut;
    bool Failed = false;
    std::string FailReason;    // from DecideRunOutcome
    std::string OutputFile;    // cut, convert, audio
    std::string JoinedOutput;  // join
    int JobId = 0;             // JobCounter of the job
    bool RemoveOutput = true;  // false when the output on the disk is not the job's own
    // The run's reserved output and work folder: a done job's file (CommitFrom, else the private
    // file) is moved onto the reservation; a failed one leaves neither behind.
    std::shared_ptr<TJobFiles> Files;
    std::string CommitFrom;
    std::string Cause;         // from DecideRunOutcome: shown after the failure text
};

struct TJobResultView {
    std::string Status;                     // "DONE" or "FAILED"
    std::string FullPath;
    int64_t Size = 0;                       // output size, 1 for a failed job
    std::optional<std::string> MessageRow;  // a new message-row caption
    std::string StatusText;                 // lblStatus: "Status" or "Failed!"
    std::string DeleteFile;                 // the failed job's partial output to remove
};

// Decides the row and label texts of a finished job. Reads the output's size from the disk.
TJobResultView DecideJobResult(const TJobResultInputs& in);
// Moves a done job's file into place (a failure to do so fails the job) or removes a failed
// job's output and private files, then queues the row status, message row and label to the GUI
// thread. Callable from a completion handler.
void ShowJobResult(TRunHost& host, const TJobResultInputs& in);

// Runner slots ------------------------------------------------------------------------------

class TToolRuns;

// One run of a kind, from RunDosCmd to its completion.
class TToolRun {
  public:
    const std::string& Kind() const { return kind_; }
    TDosCmdProcess& Process() { return process_; }
    // Ends the tool (its whole process group) because the program has what it needs; the run does
    // not count as failed by that ending.
    void StopOnPurpose();
    bool StoppedOnPurpose() const { return stoppedOnPurpose_; }
    // The job's own handler found a failure in the output (RunFailed).
    void MarkFailed() { jobFailed_ = true; }
    bool Cancelled() const { return cancelled_; }
    const TOutputWatch& Watch() const { return watch_; }
    // Valid in the completion handler.
    TRunFacts Facts() const;

  private:
    friend class TToolRuns;
    std::string kind_;
    TDosCmdProcess process_;
    TOutputWatch watch_; // fed under the runner's lock
    std::atomic<bool> started_{false}, cancelled_{false}, stoppedOnPurpose_{false},
        jobFailed_{false};
};

struct TRunHandlers {
    // Reader thread, under the runner's lock, after the failure texts have been looked for.
    std::function<void(TToolRun& run, const std::string& chunk)> OnText;
    // Waiting thread (or the caller's thread when the tool could not be started), after the slot
    // has been emptied; the outcome is DecideRunOutcome(run.Facts()).
    std::function<void(TToolRun& run, const TRunOutcome& outcome)> OnComplete;
};

// The runner slots and the shared progress state. Owned by the window (or the command-line
// session) next to the job state; must outlive its runs (its destructor stops those still running
// without calling their completion handlers).
class TToolRuns {
  public:
    TToolRuns(JobState& state, TRunHost& host);
    ~TToolRuns();
    TToolRuns(const TToolRuns&) = delete;
    TToolRuns& operator=(const TToolRuns&) = delete;

    JobState& State() { return state_; }
    TRunHost& Host() { return host_; }

    // Starts the command as a run of the kind. Nothing is started and false returned while the
    // kind's slot holds a run. When the tool cannot be started the slot is emptied again, the
    // completion handler is called at once with a failed outcome, and false is returned. Called on
    // the GUI thread (or from a completion handler).
    bool RunDosCmd(const std::string& kind, const std::string& command, TRunHandlers handlers,
                   const std::string& currentFolder = "");
    bool SlotBusy(const std::string& kind) const;
    // Gives a further kind its own slot.
    void AddRunKind(const std::string& kind);
    // Marks every active run as cancelled (the window's Cancel then kills the tools by name).
    void MarkAllCancelled();
    // Marks every active run as cancelled and ends its tool (the whole process group); each run
    // then completes as failed, which removes its partial output.
    void CancelAll();
    // How often a cancel was asked for; a job run outside the slots compares it with the count
    // at its start to know whether it was cancelled.
    int CancelCount() const { return cancelCount_; }

    // Shared progress state; lock ProgressMutex() around reads and writes from runner threads.
    std::mutex& ProgressMutex() { return progressMutex_; }
    TTimeToStore CutProgress;
    TTimeToStoreJoin PosProgress;
    TProgressCounters Counters;
    TimePoint JoinStartTime{}, ConvertStartTime{};

  private:
    void ReleaseFinished();

    JobState& state_;
    TRunHost& host_;
    mutable std::mutex slotsMutex_;
    // Completion handlers still running on their waiting threads; the destructor waits for them.
    std::atomic<int> completing_{0};
    std::atomic<int> cancelCount_{0};
    std::set<std::string> kinds_{kRunTrim, kDosConvertClip, kJoinFormList};
    std::map<std::string, std::shared_ptr<TToolRun>> slots_;
    std::list<std::shared_ptr<TToolRun>> unslotted_, finished_;
    std::mutex progressMutex_;
};

} // namespace trimora
