#pragma once
// Runs one command text as a hidden child process (no shell; the text is split by
// SplitCommandLine). Every chunk of the child's standard output and standard error is handed to
// OnProcessText on a reader thread; OnProcessComplete is called once on a waiting thread after
// the child has ended and after every chunk it wrote has been delivered.

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace trimora {

class TDosCmdProcess {
  public:
    using TextHandler = std::function<void(TDosCmdProcess& sender, const std::string& text)>;
    using CompleteHandler = std::function<void(TDosCmdProcess& sender)>;

    TDosCmdProcess();
    ~TDosCmdProcess(); // Stop(true)
    TDosCmdProcess(const TDosCmdProcess&) = delete;
    TDosCmdProcess& operator=(const TDosCmdProcess&) = delete;

    std::string CmdLine;
    TextHandler OnProcessText;
    CompleteHandler OnProcessComplete;
    int BufferSize = 2048;

    // Starts CmdLine in the given folder (empty: ProgramFolder()). False when a previous child of
    // this runner still runs, or when the process cannot be created (empty command, missing
    // executable): then no handler is called.
    bool Run(const std::string& currentFolder = "");
    // Ends a run. Forced: the child's process group is killed and OnProcessComplete is not
    // called. Not forced: false while the child still runs.
    bool Stop(bool forced);

    // The text handlers hold this around their whole body.
    void Lock() { mutex_.lock(); }
    void Unlock() { mutex_.unlock(); }

    // Outcome of the finished child, valid inside and after OnProcessComplete.
    bool Started() const { return started_; }
    bool Finished() const { return finished_; }
    int ExitStatus() const { return exitStatus_; } // exit code, or -1 when ended by a signal
    int TermSignal() const { return termSignal_; } // signal number, or 0
    int Pid() const { return pid_; }

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    std::recursive_mutex mutex_;
    std::atomic<bool> started_{false}, finished_{false};
    std::atomic<int> exitStatus_{0}, termSignal_{0}, pid_{0};
};

// How a captured run ended.
struct TCaptureOutcome {
    bool Started = false;
    bool TimedOut = false;     // the time limit passed: the child's group was killed
    bool Interrupted = false;  // the interrupt descriptor became readable: the group was killed
    int ExitStatus = 0;        // exit code; -1 when ended by a signal
    int TermSignal = 0;
    // Ran to its own end with exit status 0.
    bool Completed() const { return Started && !TimedOut && !Interrupted && TermSignal == 0 && ExitStatus == 0; }
};

inline constexpr int kCaptureTimeLimitSeconds = 30;

// Runs the command to its end and appends its output (stdout and stderr) to lines, split at CR
// and LF. Returns whether the process could be started. The child's stdin is a pipe never written
// (a front-end sees it close when this program goes away). After timeLimitSeconds, or as soon as
// the interrupt descriptor (SetCaptureInterruptFd) becomes readable, the child's whole process
// group is killed; outcome tells which.
bool RunAndCapture(const std::string& command, std::vector<std::string>& lines,
                   const std::string& currentFolder = "", TCaptureOutcome* outcome = nullptr,
                   int timeLimitSeconds = kCaptureTimeLimitSeconds);

// A descriptor that becomes readable when the program is asked to stop (the command line's
// signal handler writes to a pipe); -1 for none. Captures in progress end when it does.
void SetCaptureInterruptFd(int fd);

// Ends the tools this program started (their whole process groups) whose executable name equals
// name, compared without case: SIGTERM, then SIGKILL after a short grace. Processes of anyone
// else, another copy of this program included, are never touched. False when none matched.
bool KillProcessByName(const std::string& name);

// Process groups of every child this program has started and not yet reaped.
std::vector<int> OwnProcessGroups();

} // namespace trimora
