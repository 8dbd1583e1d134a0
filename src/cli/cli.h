#pragma once
// The headless command-line mode: `trimora <sub-command> ...` runs a job on the same core, tool
// front-ends and runner as the window, prints progress (a bar on a terminal, plain percent lines
// otherwise) and ends with one line "DONE <output path>" or "FAILED <reason>".
// Exit status: 0 done, 1 failed, 2 bad usage (with a message on standard error).
//
// Adding a sub-command: write `int CliXxx(TCliSession&, const std::vector<std::string>& args)` in
// its own file under src/cli/, declare it below and add one line to the table in cli.cpp.

#include <condition_variable>
#include <deque>
#include <functional>
#include <iosfwd>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/job_state.h"
#include "exec/tool_runs.h"

namespace trimora {

// Runs a sub-command when argv[1] names one; returns -1 when it does not (the caller then opens
// the window), else the exit status. Creates no Qt application object.
int RunCommandLine(int argc, char** argv);

// Same, with the streams given (tests).
int RunCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// A usage error: the message goes to standard error and the exit status is 2.
class TCliUsageError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Parsed arguments: "--name value" options, "--flag" switches and the plain arguments in order.
struct TCliArgs {
    std::vector<std::string> Positional;
    std::map<std::string, std::string> Values;
    std::set<std::string> Flags;
    bool Has(const std::string& option) const {
        return Values.count(option) != 0 || Flags.count(option) != 0;
    }
    std::string Value(const std::string& option, const std::string& fallback = "") const {
        const auto it = Values.find(option);
        return it == Values.end() ? fallback : it->second;
    }
};

// Throws TCliUsageError for an option not in either set ("Unknown option: --x") and for a value
// option without its value.
TCliArgs ParseCliArgs(const std::vector<std::string>& args,
                      const std::set<std::string>& valueOptions,
                      const std::set<std::string>& flagOptions);

// Checks a time text (HH:MM:SS.mmm, H:MM:SS, ...); throws TCliUsageError naming the option.
void CheckCliTime(const std::string& option, const std::string& text);

// The source file: given, existing and a regular file; returns it as an absolute path.
std::string CheckCliSource(const TCliArgs& args);

// The command-line host: what the window would show, printed.
class TCliHost : public TRunHost {
  public:
    TCliHost(std::ostream& out, std::ostream& err, bool terminal);

    void Post(std::function<void()> fn) override;
    void SetGauge(int percent) override;
    void SetStatusText(const std::string& text) override;
    void SetMessageRow(const std::string& caption) override;
    void SetRowStatus(int id, const std::string& status, const std::string& fullPath,
                      int64_t size) override;
    void ClearMemo() override { memo_.clear(); }
    void AppendMemo(const std::string& line) override { memo_.push_back(line); }
    void ShowMessage(const std::string& text) override;
    void BeginRunControls() override {}
    void EndRunControls() override {}
    void JobEnded(int id, bool failed, const std::string& reason) override;

    // The job whose end stops WaitForJob.
    void WatchJob(int id) { jobId_ = id; }
    // Runs posted work on this thread until the watched job has ended. Prints the row's status
    // and size, then the last line "DONE <path>" or "FAILED <reason>", and returns the exit
    // status (0 done, 1 failed).
    // An interrupt (Ctrl-C, SIGTERM, SIGHUP) while waiting calls onInterrupt once, which is to
    // cancel the job; the wait goes on until the job has ended.
    int WaitForJob(const std::function<void()>& onInterrupt = {});
    const std::vector<std::string>& Memo() const { return memo_; }

  private:
    void EndProgressLine();

    std::ostream& out_;
    std::ostream& err_;
    bool terminal_;
    std::mutex m_;
    std::condition_variable cv_;
    std::deque<std::function<void()>> queue_;
    std::vector<std::string> memo_;
    int jobId_ = 0;
    int lastGauge_ = -1;
    bool barOpen_ = false;
    bool ended_ = false;
    std::optional<std::string> finalStatus_;
    std::string finalPath_, failReason_, messageRow_;
    int64_t finalSize_ = 0;
};

// The state a sub-command works on, set up as the window's start-up sets it up: folders, tool
// command prefixes, thread pieces, work folders, front-ends installed, settings' save folder,
// StartupDone true.
struct TStoreInfo;
class TCliSession;

// Probes the selected clip as ticking it in the source list does; false after the FAILED line.
bool CliProbeSelected(TCliSession& s, TStoreInfo& info);

class TCliSession {
  public:
    TCliSession(std::ostream& out, std::ostream& err, bool terminal);
    std::ostream& Out;
    std::ostream& Err;
    JobState State;
    TCliHost Host;
    TToolRuns Runs;
    double ClipSeconds = 0; // the probed clip's exact length (0: unknown)
    // The save folder: --save-folder DIR (which must exist) or the one the window would use.
    void ApplySaveFolder(const TCliArgs& args);
};

using TCliRun = int (*)(TCliSession& session, const std::vector<std::string>& args);

struct TCliCommand {
    const char* Name;
    const char* Usage;
    TCliRun Run;
};

const std::vector<TCliCommand>& CliCommands();

// Runs a started job to its end: the session's host waits, and an interrupt cancels the job's
// tools (its partial output is removed). Returns the exit status.
int WaitForCliJob(TCliSession& session);

// A --start/--end range ending past the probed clip's end is cut at the clip's end, with a note.
void ClampRangeToClip(TCliSession& session);

// The signal (SIGINT, SIGTERM, SIGHUP, SIGPIPE) that asked the command line to stop, or 0.
int StopSignal();

// Sub-commands (one file each).
int CliProbe(TCliSession& session, const std::vector<std::string>& args); // cli_cut.cpp
int CliCut(TCliSession& session, const std::vector<std::string>& args);   // cli_cut.cpp
int CliConvert(TCliSession& session, const std::vector<std::string>& args); // cli_convert.cpp
int CliExtractAudio(TCliSession& session,
                    const std::vector<std::string>& args); // cli_convert.cpp
int CliJoin(TCliSession& session, const std::vector<std::string>& args);  // cli_join.cpp

} // namespace trimora
