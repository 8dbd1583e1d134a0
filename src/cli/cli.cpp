#include "cli/cli.h"

#include <chrono>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <cstdlib>
#include <iostream>
#include <sys/stat.h>
#include <unistd.h>

#include "common/helpers.h"
#include "common/safe_output.h"
#include "exec/dos_cmd_process.h"
#include "exec/startup_state.h"
#include "exec/tool_install.h"

namespace trimora {

const std::vector<TCliCommand>& CliCommands() {
    static const std::vector<TCliCommand> table = {
        {"probe", "trimora probe SRC", &CliProbe},
        {"cut",
         "trimora cut SRC --start T --end T [--save-folder DIR] [--nosound] [--exact] [--dry-run]",
         &CliCut},
        {"convert",
         "trimora convert SRC --format F [--quality Q] [--frame-size S] [--no-sound] "
         "[--volume N] [--start T --end T] [--save-folder DIR] [--dry-run]",
         &CliConvert},
        {"extract-audio",
         "trimora extract-audio SRC --format .mp3 [--volume N] [--start T --end T] "
         "[--save-folder DIR] [--dry-run]",
         &CliExtractAudio},
        {"join", "trimora join FILE... [--save-folder DIR] [--nosound] [--dry-run]", &CliJoin},
    };
    return table;
}

// Arguments ----------------------------------------------------------------------------------

TCliArgs ParseCliArgs(const std::vector<std::string>& args,
                      const std::set<std::string>& valueOptions,
                      const std::set<std::string>& flagOptions) {
    TCliArgs r;
    bool onlyPositional = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (onlyPositional || a.size() < 2 || a[0] != '-') {
            r.Positional.push_back(a);
            continue;
        }
        if (a == "--") {
            onlyPositional = true;
            continue;
        }
        std::string name = a, value;
        bool inlineValue = false;
        if (const size_t eq = a.find('='); a.rfind("--", 0) == 0 && eq != std::string::npos) {
            name = a.substr(0, eq);
            value = a.substr(eq + 1);
            inlineValue = true;
        }
        if (valueOptions.count(name)) {
            if (!inlineValue) {
                if (i + 1 >= args.size()) throw TCliUsageError("Option " + name + " needs a value");
                value = args[++i];
            }
            r.Values[name] = value;
        } else if (flagOptions.count(name) && !inlineValue) {
            r.Flags.insert(name);
        } else {
            throw TCliUsageError("Unknown option: " + a);
        }
    }
    return r;
}

void CheckCliTime(const std::string& option, const std::string& text) {
    // H:MM:SS, HH:MM:SS.mmm, M:SS, SS(.mmm): digit fields separated by colons, one fraction.
    const std::string t = Trim(text);
    bool ok = !t.empty();
    int colons = 0, points = 0;
    bool digitBefore = false;
    for (char c : t) {
        if (std::isdigit(static_cast<unsigned char>(c))) {
            digitBefore = true;
        } else if (c == ':' && points == 0 && digitBefore) {
            ++colons;
            digitBefore = false;
        } else if (c == '.' && points == 0 && digitBefore) {
            ++points;
            digitBefore = false;
        } else {
            ok = false;
        }
    }
    if (!digitBefore || colons > 2) ok = false;
    if (!ok)
        throw TCliUsageError("Invalid time for " + option + ": \"" + text +
                             "\" (use HH:MM:SS.mmm or H:MM:SS)");
}

std::string CheckCliSource(const TCliArgs& args) {
    if (args.Positional.empty())
        throw TCliUsageError("Please select a file in list to process!");
    if (args.Positional.size() > 1)
        throw TCliUsageError("Unexpected argument: " + args.Positional[1]);
    std::string path = args.Positional[0];
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        throw TCliUsageError("Please select a file in list to process! (no such file: " + path +
                             ")");
    if (path[0] != '/') {
        char buf[4096];
        if (::getcwd(buf, sizeof buf)) path = WithSlash(buf) + path;
    }
    return path;
}

// Interrupts ---------------------------------------------------------------------------------

namespace {
// The first stop signal; its pipe wakes a probe waiting for its tool.
volatile std::sig_atomic_t g_stopSignal = 0;
int g_stopPipe[2] = {-1, -1};

extern "C" void OnInterrupt(int sig) {
    if (g_stopSignal == 0) g_stopSignal = sig;
    const int saved = errno;
    if (g_stopPipe[1] >= 0) (void)!::write(g_stopPipe[1], "x", 1);
    errno = saved;
}

// A closed standard output (the reader went away) stops the job like Ctrl-C: the tools end and
// the partial output is removed instead of the program dying on the spot.
void CatchInterrupts() {
    if (::pipe2(g_stopPipe, O_CLOEXEC | O_NONBLOCK) == 0) SetCaptureInterruptFd(g_stopPipe[0]);
    struct sigaction sa {};
    sa.sa_handler = OnInterrupt;
    sigemptyset(&sa.sa_mask);
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) ::sigaction(sig, &sa, nullptr);
}

// The tools of this program, in the order the window's Cancel ends them.
void StopOwnTools(TToolRuns& runs) {
    runs.CancelAll();
    for (const char* name : {"fcut.exe", "mcut.exe", "fmerge.exe", "mmerge.exe"})
        KillProcessByName(name);
}
} // namespace

int StopSignal() { return g_stopSignal; }

// Host ---------------------------------------------------------------------------------------

TCliHost::TCliHost(std::ostream& out, std::ostream& err, bool terminal)
    : out_(out), err_(err), terminal_(terminal) {}

void TCliHost::Post(std::function<void()> fn) {
    {
        std::lock_guard lock(m_);
        queue_.push_back(std::move(fn));
    }
    cv_.notify_one();
}

void TCliHost::EndProgressLine() {
    if (barOpen_) out_ << "\n";
    barOpen_ = false;
}

void TCliHost::SetGauge(int percent) {
    if (percent < 0) percent = 0;
    if (percent > 100) percent = 100;
    if (percent == lastGauge_) return;
    lastGauge_ = percent;
    if (terminal_) {
        const int width = 40;
        const int filled = percent * width / 100;
        out_ << "\r[" << std::string(static_cast<size_t>(filled), '#')
             << std::string(static_cast<size_t>(width - filled), '.') << "] " << percent << "%"
             << std::flush;
        barOpen_ = true;
    } else {
        out_ << percent << "%" << std::endl;
    }
}

void TCliHost::SetStatusText(const std::string&) {}

void TCliHost::SetMessageRow(const std::string& caption) { messageRow_ = caption; }

void TCliHost::SetRowStatus(int id, const std::string& status, const std::string& fullPath,
                            int64_t size) {
    if (id != jobId_) return;
    finalStatus_ = status;
    finalPath_ = fullPath;
    finalSize_ = size;
}

void TCliHost::JobEnded(int id, bool failed, const std::string& reason) {
    if (id != jobId_) return;
    ended_ = true;
    failReason_ = failed ? reason : "";
}

void TCliHost::ShowMessage(const std::string& text) {
    EndProgressLine();
    err_ << text << std::endl;
}

int TCliHost::WaitForJob(const std::function<void()>& onInterrupt) {
    bool interruptHandled = false;
    for (;;) {
        if (g_stopSignal && !interruptHandled) {
            interruptHandled = true;
            EndProgressLine();
            err_ << "Interrupted: stopping the tool..." << std::endl;
            if (onInterrupt) onInterrupt();
        }
        std::function<void()> fn;
        {
            std::unique_lock lock(m_);
            if (queue_.empty() && ended_) break;
            if (!cv_.wait_for(lock, std::chrono::milliseconds(100),
                              [&] { return !queue_.empty(); }))
                continue;
            fn = std::move(queue_.front());
            queue_.pop_front();
        }
        fn();
    }
    EndProgressLine();
    if (finalStatus_.value_or("") == "DONE") {
        out_ << "Status: DONE " << (finalSize_ > 0 ? FormatFileSize(finalSize_) : "0 bytes")
             << std::endl;
        out_ << "DONE " << finalPath_ << std::endl;
        return 0;
    }
    std::string reason = failReason_.empty() ? messageRow_ : failReason_;
    if (!failReason_.empty() && !messageRow_.empty() &&
        messageRow_.find(failReason_) == std::string::npos)
        reason = messageRow_ + " (" + failReason_ + ")";
    else if (!messageRow_.empty() && !failReason_.empty())
        reason = messageRow_;
    if (failReason_ == "cancelled") reason = failReason_;
    out_ << "FAILED " << reason << std::endl;
    return 1;
}

int WaitForCliJob(TCliSession& s) {
    return s.Host.WaitForJob([&s] { StopOwnTools(s.Runs); });
}

// Session ------------------------------------------------------------------------------------

TCliSession::TCliSession(std::ostream& out, std::ostream& err, bool terminal)
    : Out(out), Err(err), Host(out, err, terminal), Runs(State, Host) {
    SetUpStartupState(State);
    EnsureFrontEndsInstalled(State.ProgramFolder, State.SystemFolder);
    // Work files and unfinished outputs of an earlier run that was killed.
    CleanOrphanedJobs();
    for (const auto& [name, sub] : FrontEndLayout()) {
        const std::string path = State.SystemFolder + sub + name;
        if (std::string why; FileExists(path) && !IsTrustedExecutable(path, why))
            Err << "Refusing to run " << path << ": " << why << std::endl;
    }
    State.StartupDone = true;
    State.BuildOnly = true;
}

void TCliSession::ApplySaveFolder(const TCliArgs& args) {
    if (args.Values.count("--save-folder")) {
        std::string dir = args.Value("--save-folder");
        if (dir.empty()) throw TCliUsageError("Option --save-folder needs a folder");
        if (dir[0] != '/') {
            char buf[4096];
            if (::getcwd(buf, sizeof buf)) dir = WithSlash(buf) + dir;
        }
        if (!DirectoryExistsEx(dir)) throw TCliUsageError("Folder does't exist: " + dir);
        State.SaveConvertFolder = WithSlash(dir);
        State.SaveJoinFolder = WithSlash(dir);
        return;
    }
    // The folders the window would use: its remembered settings, else the defaults.
    // Only a plain file of sane size is read: a FIFO would hang, a huge file eat the memory.
    const std::string file = SettingsFilePath();
    std::string why;
    const bool sane = IsSaneSettingsFile(file, kMaxSettingsBytes, why);
    if (!sane) Err << "Settings not read: " << why << std::endl;
    auto folder = [&](const char* key) { return sane ? ReadSettingsText(file, key) : ""; };
    State.ConvertFolder = folder("ConvertFolder");
    State.SaveConvertFolder = folder("SaveConvertFolder");
    State.SaveJoinFolder = folder("SaveJoinFolder");
    State.JoinFolder = folder("JoinFolder");
    if (State.SaveConvertFolder.empty() || State.SaveConvertFolder[0] != '/')
        State.SaveConvertFolder = State.DefaultSaveConvertFolder;
    if (State.SaveJoinFolder.empty() || State.SaveJoinFolder[0] != '/')
        State.SaveJoinFolder = State.DefaultSaveJoinFolder;
    if (!DirectoryExistsEx(State.SaveConvertFolder) && DirectoryExistsEx(State.ConvertFolder))
        State.SaveConvertFolder = State.ConvertFolder;
    if (!DirectoryExistsEx(State.SaveJoinFolder) && DirectoryExistsEx(State.JoinFolder))
        State.SaveJoinFolder = State.JoinFolder;
    State.SaveConvertFolder = WithSlash(State.SaveConvertFolder);
    State.SaveJoinFolder = WithSlash(State.SaveJoinFolder);
}

// Entry --------------------------------------------------------------------------------------

namespace {
void PrintUsage(std::ostream& err) {
    err << "Usage:\n  trimora [FILE|FOLDER]  (opens the window: that folder listed, that clip chosen)\n";
    for (const auto& c : CliCommands()) err << "  " << c.Usage << "\n";
}
} // namespace

int RunCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.empty()) return -1;
    const std::string& name = args[0];
    if (name == "--help" || name == "-h" || name == "help") {
        PrintUsage(out);
        return 0;
    }
    const TCliCommand* command = nullptr;
    for (const auto& c : CliCommands())
        if (name == c.Name) command = &c;
    if (!command) {
        // Options the window itself understands (Qt's -platform and the like) still open it.
        if (!name.empty() && name[0] == '-') return -1;
        // So does a file or folder to open in it.
        if (::access(name.c_str(), F_OK) == 0) return -1;
        err << "Unknown command: " << name << "\n";
        PrintUsage(err);
        return 2;
    }
    const bool terminal = &out == &std::cout && ::isatty(STDOUT_FILENO);
    try {
        TCliSession session(out, err, terminal);
        return command->Run(session, std::vector<std::string>(args.begin() + 1, args.end()));
    } catch (const TCliUsageError& e) {
        err << e.what() << "\nUsage: " << command->Usage << "\n";
        return 2;
    } catch (const std::exception& e) {
        out << "FAILED " << e.what() << std::endl;
        return 1;
    }
}

int RunCommandLine(int argc, char** argv) {
    if (argc > 1) {
        const std::string name = argv[1];
        for (const auto& c : CliCommands())
            if (name == c.Name) CatchInterrupts();
    }
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
    const int status = RunCommandLine(args, std::cout, std::cerr);
    // Stopped by a signal: 128 + its number, as a shell reports it.
    if (g_stopSignal != 0 && status != 0) return 128 + g_stopSignal;
    return status;
}

} // namespace trimora
