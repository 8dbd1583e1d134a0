#include "frontend.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sstream>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace trimora::frontend {

namespace {

volatile sig_atomic_t gChildPid = 0;
volatile sig_atomic_t gSignal = 0;

void OnTerminationSignal(int sig) {
    if (gSignal == 0) gSignal = sig;
    const pid_t child = gChildPid;
    if (child > 0) ::kill(child, sig);
}

const int kForwarded[] = {SIGTERM, SIGINT, SIGHUP};

void InstallSignalHandlers() {
    static bool installed = false;
    if (installed) return;
    installed = true;
    struct sigaction sa {};
    sa.sa_handler = OnTerminationSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = 0; // no SA_RESTART: poll() should wake up
    for (int sig : kForwarded) ::sigaction(sig, &sa, nullptr);
    // A reader of our output that goes away must not kill us before the tool is stopped.
    ::signal(SIGPIPE, SIG_IGN);
}

void WriteAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return;
        }
        done += static_cast<size_t>(n);
    }
}

// The program that started us holds our stdin open while it lives (it says so in the environment):
// its end closing means the program is gone, and the tool must not go on without it.
bool HasLifeline() {
    static const bool lifeline = [] {
        const char* v = std::getenv("TRIMORA_LIFELINE");
        struct stat st {};
        return v && std::strcmp(v, "1") == 0 && ::fstat(0, &st) == 0 && S_ISFIFO(st.st_mode);
    }();
    return lifeline;
}

// Reads what arrived on the lifeline (nothing is ever written) and tells whether it has closed.
bool LifelineClosed(short revents) {
    if (!(revents & (POLLIN | POLLHUP | POLLERR))) return false;
    char buf[256];
    const ssize_t n = ::read(0, buf, sizeof buf);
    return n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN);
}

bool LifelineClosedNow() {
    if (!HasLifeline()) return false;
    pollfd p{0, POLLIN, 0};
    return ::poll(&p, 1, 0) > 0 && LifelineClosed(p.revents);
}

void OnLifelineClosed() {
    if (gSignal == 0) gSignal = SIGTERM;
    const pid_t child = gChildPid;
    if (child > 0) ::kill(child, SIGTERM);
}

// Debian package of a tool the front-ends run.
std::string PackageOf(const std::string& program) {
    if (program == "ffmpeg" || program == "ffprobe") return "ffmpeg";
    if (program == "mkvmerge" || program == "mkvextract") return "mkvtoolnix";
    return program;
}

bool IsExecutableFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

} // namespace

int ToolOutcome::Status() const {
    if (gSignal != 0) return 128 + gSignal; // asked to stop: never report success
    if (signal != 0) return 128 + signal;
    if (!started) return 127;
    return exitCode;
}

int ReceivedSignal() { return gSignal; }

void StopRunningTool() {
    const pid_t child = gChildPid;
    if (child > 0) ::kill(child, SIGKILL);
}

std::string FindProgram(const std::string& name) {
    if (name.empty()) return "";
    if (name.find('/') != std::string::npos) return IsExecutableFile(name) ? name : "";
    const char* env = std::getenv("PATH");
    const std::string path = env && *env ? env : "/usr/local/bin:/usr/bin:/bin";
    size_t from = 0;
    while (from <= path.size()) {
        size_t to = path.find(':', from);
        if (to == std::string::npos) to = path.size();
        // Built piece by piece: GCC 12 warns falsely (-Wrestrict) on dir + "/" + name.
        std::string candidate = to > from ? path.substr(from, to - from) : std::string(".");
        candidate.push_back('/');
        candidate.append(name);
        if (IsExecutableFile(candidate)) return candidate;
        from = to + 1;
    }
    return "";
}

ToolOutcome RunTool(const std::vector<std::string>& argv, const ChunkHandler& onChunk,
                    int graceMs) {
    ToolOutcome outcome;
    InstallSignalHandlers();
    if (LifelineClosedNow()) OnLifelineClosed();
    if (argv.empty() || gSignal != 0) return outcome;
    const std::string program = FindProgram(argv[0]);
    if (program.empty()) {
        const std::string name = argv[0].substr(argv[0].find_last_of('/') + 1);
        PrintOut(name + " is not installed: apt-get install " + PackageOf(name) + "\n");
        return outcome;
    }

    // Everything the child needs is prepared before fork: after it only async-signal-safe calls.
    std::vector<char*> cargs;
    for (const auto& a : argv) cargs.push_back(const_cast<char*>(a.c_str()));
    cargs.push_back(nullptr);

    int outPipe[2], errPipe[2], execPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0) return outcome;
    if (::pipe2(errPipe, O_CLOEXEC) != 0) {
        ::close(outPipe[0]);
        ::close(outPipe[1]);
        return outcome;
    }
    if (::pipe2(execPipe, O_CLOEXEC) != 0) {
        for (int fd : {outPipe[0], outPipe[1], errPipe[0], errPipe[1]}) ::close(fd);
        return outcome;
    }
    const int devNull = ::open("/dev/null", O_RDONLY | O_CLOEXEC);

    // Signals stay blocked until the child's pid is known, so none is lost in between.
    sigset_t block, old;
    sigemptyset(&block);
    for (int sig : kForwarded) sigaddset(&block, sig);
    ::sigprocmask(SIG_BLOCK, &block, &old);
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid == 0) {
        for (int sig : kForwarded) ::signal(sig, SIG_DFL);
        ::signal(SIGPIPE, SIG_DFL);
        ::sigprocmask(SIG_SETMASK, &old, nullptr);
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent) ::_exit(127); // the front-end died before prctl took hold
        if (devNull >= 0) ::dup2(devNull, 0);
        ::dup2(outPipe[1], 1);
        ::dup2(errPipe[1], 2);
        ::execv(program.c_str(), cargs.data());
        const int err = errno;
        (void)!::write(execPipe[1], &err, sizeof err);
        ::_exit(127);
    }
    if (pid > 0) gChildPid = pid;
    ::sigprocmask(SIG_SETMASK, &old, nullptr);
    for (int fd : {outPipe[1], errPipe[1], execPipe[1]}) ::close(fd);
    if (devNull >= 0) ::close(devNull);
    if (pid < 0) {
        for (int fd : {outPipe[0], errPipe[0], execPipe[0]}) ::close(fd);
        return outcome;
    }

    int execErr = 0;
    ssize_t got;
    while ((got = ::read(execPipe[0], &execErr, sizeof execErr)) < 0 && errno == EINTR) {
    }
    ::close(execPipe[0]);
    outcome.started = got <= 0;
    if (!outcome.started)
        PrintErr(argv[0] + ": cannot start: " + std::strerror(execErr) + "\n");

    using Clock = std::chrono::steady_clock;
    Clock::time_point stopAsked{};
    bool killed = false;
    auto enforceGrace = [&] {
        if (gSignal == 0 || killed) return;
        if (stopAsked == Clock::time_point{}) stopAsked = Clock::now();
        if (Clock::now() - stopAsked >= std::chrono::milliseconds(graceMs)) {
            ::kill(pid, SIGKILL);
            killed = true;
        }
    };

    pollfd fds[3] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}, {HasLifeline() ? 0 : -1, POLLIN, 0}};
    int open = 2;
    char buf[4096];
    while (open > 0) {
        const int ready = ::poll(fds, 3, 50);
        if (fds[2].fd >= 0 && LifelineClosed(fds[2].revents)) {
            fds[2].fd = -1;
            OnLifelineClosed();
        }
        enforceGrace();
        if (ready <= 0) continue;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) continue;
            const ssize_t n = ::read(fds[i].fd, buf, sizeof buf);
            if (n > 0) {
                if (onChunk)
                    onChunk(i == 0 ? OutputStream::Out : OutputStream::Err,
                            std::string(buf, static_cast<size_t>(n)));
            } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
                ::close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }

    int status = 0;
    for (;;) {
        // The tool has closed its output: it is ending, so wait for it without polling. Once a
        // stop was asked for, poll, so that a tool that ignores it is killed after the grace.
        const pid_t r = ::waitpid(pid, &status, gSignal == 0 ? 0 : WNOHANG);
        if (r == pid) break;
        if (r < 0 && errno != EINTR) break;
        enforceGrace();
        if (r == 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    gChildPid = 0;
    if (WIFEXITED(status)) outcome.exitCode = WEXITSTATUS(status);
    else if (WIFSIGNALED(status)) outcome.signal = WTERMSIG(status);
    return outcome;
}

ToolOutcome RunToolCapture(const std::vector<std::string>& argv, std::string* out,
                           std::string* err) {
    return RunTool(argv, [&](OutputStream stream, const std::string& chunk) {
        std::string* target = stream == OutputStream::Out ? out : err;
        if (target) target->append(chunk);
    });
}

bool ProbeJson(const std::string& path, std::string* json, std::string* error,
               const std::vector<std::string>& extraArgs) {
    std::vector<std::string> argv = {"ffprobe", "-v", "error", "-print_format", "json",
                                     "-show_format", "-show_streams"};
    argv.insert(argv.end(), extraArgs.begin(), extraArgs.end());
    argv.push_back(path);
    std::string out, err;
    const ToolOutcome outcome = RunToolCapture(argv, &out, &err);
    if (json) *json = out;
    if (error) *error = err;
    return outcome.Succeeded();
}

void PrintOut(const std::string& text) { WriteAll(1, text); }
void PrintErr(const std::string& text) { WriteAll(2, text); }

std::vector<std::string> ArgsOf(int argc, char** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
    return args;
}

bool DropLeading(std::vector<std::string>& args, const std::vector<std::string>& leading) {
    if (args.size() < leading.size() || !std::equal(leading.begin(), leading.end(), args.begin()))
        return false;
    args.erase(args.begin(), args.begin() + static_cast<std::ptrdiff_t>(leading.size()));
    return true;
}

std::string LowerExtension(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    std::string ext = path.substr(dot);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext;
}

double KeyframeAtOrBefore(const std::string& input, double t, double window) {
    char interval[64];
    if (window > 0)
        std::snprintf(interval, sizeof interval, "%.3f%%%.3f", std::max(0.0, t - window), t + 0.05);
    else
        std::snprintf(interval, sizeof interval, "%%%.3f", t + 0.05);
    std::string out;
    if (!RunToolCapture({"ffprobe", "-v", "error", "-select_streams", "v:0", "-read_intervals",
                         interval, "-show_entries", "packet=pts_time,dts_time,flags", "-of",
                         "csv=p=0", input},
                        &out, nullptr)
             .Succeeded())
        return -1;
    double best = -1;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        const size_t a = line.find(','), b = line.find(',', a + 1);
        if (a == std::string::npos || b == std::string::npos ||
            line.find('K', b) == std::string::npos)
            continue;
        const std::string pts = line.substr(0, a), dts = line.substr(a + 1, b - a - 1);
        char* end = nullptr;
        double at = std::strtod(pts.c_str(), &end);
        if (end == pts.c_str()) {
            at = std::strtod(dts.c_str(), &end);
            if (end == dts.c_str()) continue;
        }
        if (at <= t + 0.0005) best = std::max(best, at);
    }
    return best;
}

} // namespace trimora::frontend
