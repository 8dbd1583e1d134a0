#include "exec/dos_cmd_process.h"

#include "common/command_line.h"
#include "common/helpers.h"
#include "common/safe_output.h"

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstring>
#include <map>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace trimora {

namespace {

void CloseFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

// Children this program started and has not reaped yet: process group (= the child's pid) and
// the upper-case file name of its executable.
std::mutex& RegistryMutex() {
    static std::mutex m;
    return m;
}
std::map<pid_t, std::string>& Registry() {
    static std::map<pid_t, std::string> r;
    return r;
}
void Unregister(pid_t pid) {
    std::lock_guard lock(RegistryMutex());
    Registry().erase(pid);
}

std::atomic<int> g_captureInterruptFd{-1};

// Tells a child that its standard input is a pipe this program holds open for as long as it
// lives: the front-ends stop their tools when it closes.
constexpr const char* kLifelineVariable = "TRIMORA_LIFELINE=1";

struct SpawnResult {
    pid_t pid = -1;
    int outRead = -1;  // child's stdout+stderr
    int inWrite = -1;  // child's stdin (never written), -1 when stdin is /dev/null
};

// Starts argv in its own process group, with stdout and stderr on one pipe. No shell.
SpawnResult Spawn(const std::vector<std::string>& args, const std::string& folder,
                  bool stdinPipe) {
    SpawnResult r;
    if (args.empty() || args[0].empty()) return r;
    // A tool that another user could have put or changed there never runs with our rights.
    if (std::string why; args[0][0] == '/' && !IsTrustedExecutable(args[0], why)) return r;
    int out[2], in[2] = {-1, -1};
    if (::pipe2(out, O_CLOEXEC) != 0) return r;
    if (stdinPipe && ::pipe2(in, O_CLOEXEC) != 0) {
        ::close(out[0]);
        ::close(out[1]);
        return r;
    }
    posix_spawn_file_actions_t fa;
    posix_spawnattr_t attr;
    posix_spawn_file_actions_init(&fa);
    posix_spawnattr_init(&attr);
    if (stdinPipe) posix_spawn_file_actions_adddup2(&fa, in[0], 0);
    else posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&fa, out[1], 1);
    posix_spawn_file_actions_adddup2(&fa, out[1], 2);
    if (!folder.empty()) posix_spawn_file_actions_addchdir_np(&fa, folder.c_str());
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &all);
    posix_spawnattr_setpgroup(&attr, 0);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK |
                                        POSIX_SPAWN_SETSIGDEF);
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (char** e = environ; e && *e; ++e)
        if (std::strncmp(*e, "TRIMORA_LIFELINE=", 17) != 0) envp.push_back(*e);
    if (stdinPipe) envp.push_back(const_cast<char*>(kLifelineVariable));
    envp.push_back(nullptr);
    pid_t pid = -1;
    // Registered before any other thread could reap it; a failed start is taken out again.
    std::unique_lock registry(RegistryMutex());
    const int rc = ::posix_spawnp(&pid, argv[0], &fa, &attr, argv.data(), envp.data());
    if (rc == 0) Registry()[pid] = ToUpper(FileNameOf(args[0]));
    registry.unlock();
    posix_spawn_file_actions_destroy(&fa);
    posix_spawnattr_destroy(&attr);
    ::close(out[1]);
    if (stdinPipe) ::close(in[0]);
    if (rc != 0) {
        ::close(out[0]);
        if (stdinPipe) ::close(in[1]);
        return r;
    }
    r.pid = pid;
    r.outRead = out[0];
    r.inWrite = stdinPipe ? in[1] : -1;
    return r;
}

} // namespace

struct TDosCmdProcess::Impl {
    int outRead = -1, inWrite = -1, wakeRead = -1, wakeWrite = -1;
    std::thread reader, waiter;
    std::mutex m;
    std::condition_variable cv;
    bool readerDone = false, childDone = false, forced = false;
};

TDosCmdProcess::TDosCmdProcess() : impl_(std::make_unique<Impl>()) {}

TDosCmdProcess::~TDosCmdProcess() { Stop(true); }

bool TDosCmdProcess::Run(const std::string& currentFolder) {
    if (!Stop(false)) return false;
    started_ = finished_ = false;
    exitStatus_ = 0;
    termSignal_ = 0;
    const auto args = SplitCommandLine(CmdLine);
    const std::string folder = currentFolder.empty() ? ProgramFolder() : currentFolder;
    SpawnResult sp = Spawn(args, DirectoryExistsEx(folder) ? folder : "", true);
    if (sp.pid <= 0) return false;
    int wake[2];
    if (::pipe2(wake, O_CLOEXEC) != 0) wake[0] = wake[1] = -1;

    Impl& d = *impl_;
    d.outRead = sp.outRead;
    d.inWrite = sp.inWrite;
    d.wakeRead = wake[0];
    d.wakeWrite = wake[1];
    d.readerDone = d.childDone = d.forced = false;
    pid_ = sp.pid;
    started_ = true;

    const int bufferSize = BufferSize > 0 ? BufferSize : 2048;
    // Each thread keeps its own copy of its handler: a completion handler may release the runner.
    d.reader = std::thread([this, bufferSize, onText = OnProcessText] {
        Impl& d = *impl_;
        std::string buf(static_cast<size_t>(bufferSize), '\0');
        for (;;) {
            pollfd fds[2] = {{d.outRead, POLLIN, 0}, {d.wakeRead, POLLIN, 0}};
            const int n = ::poll(fds, d.wakeRead >= 0 ? 2 : 1, -1);
            if (n < 0 && errno == EINTR) continue;
            if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
                const ssize_t got = ::read(d.outRead, buf.data(), buf.size());
                if (got < 0 && errno == EINTR) continue;
                if (got <= 0) break; // end of output: every writer has closed the pipe
                bool skip;
                {
                    std::lock_guard<std::mutex> lock(d.m);
                    skip = d.forced;
                }
                if (!skip && onText) onText(*this, buf.substr(0, static_cast<size_t>(got)));
                continue;
            }
            if (n < 0 || (fds[1].revents & (POLLIN | POLLHUP))) break; // told to stop
        }
        std::lock_guard<std::mutex> lock(d.m);
        d.readerDone = true;
        d.cv.notify_all();
    });

    d.waiter = std::thread([this, onComplete = OnProcessComplete] {
        Impl& d = *impl_;
        int status = 0;
        pid_t r;
        do {
            r = ::waitpid(pid_, &status, 0);
        } while (r < 0 && errno == EINTR);
        Unregister(pid_);
        if (r == pid_) {
            if (WIFEXITED(status)) {
                exitStatus_ = WEXITSTATUS(status);
            } else if (WIFSIGNALED(status)) {
                exitStatus_ = -1;
                termSignal_ = WTERMSIG(status);
            }
        } else {
            exitStatus_ = -1;
        }
        bool forced;
        {
            // Every chunk the child wrote comes before the completion. A grandchild that keeps
            // the pipe open must not hold the job for ever: the reader gets a short grace.
            std::unique_lock<std::mutex> lock(d.m);
            d.childDone = true;
            if (!d.cv.wait_for(lock, std::chrono::seconds(3), [&] { return d.readerDone; })) {
                if (d.wakeWrite >= 0) (void)!::write(d.wakeWrite, "x", 1);
                d.cv.wait(lock, [&] { return d.readerDone; });
            }
            forced = d.forced;
        }
        finished_ = true;
        if (!forced && onComplete) onComplete(*this);
    });
    return true;
}

bool TDosCmdProcess::Stop(bool forced) {
    Impl& d = *impl_;
    if (!d.waiter.joinable() && !d.reader.joinable()) return true;
    bool childRunning;
    {
        std::lock_guard<std::mutex> lock(d.m);
        childRunning = !d.childDone;
        if (childRunning) {
            if (!forced) return false;
            d.forced = true;
        }
    }
    if (childRunning && pid_ > 0) {
        // The whole process group: a front-end and the tool it drives.
        ::kill(-pid_, SIGTERM);
        ::kill(pid_, SIGTERM);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
        bool done = false;
        while (std::chrono::steady_clock::now() < deadline) {
            {
                std::lock_guard<std::mutex> lock(d.m);
                done = d.childDone;
            }
            if (done) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (!done) {
            ::kill(-pid_, SIGKILL);
            ::kill(pid_, SIGKILL);
        }
    }
    if (d.wakeWrite >= 0) (void)!::write(d.wakeWrite, "x", 1);
    const auto self = std::this_thread::get_id();
    for (std::thread* t : {&d.reader, &d.waiter}) {
        if (!t->joinable()) continue;
        // A completion handler that releases its own runner must not wait for itself.
        if (t->get_id() == self) t->detach();
        else t->join();
    }
    CloseFd(d.outRead);
    CloseFd(d.inWrite);
    CloseFd(d.wakeRead);
    CloseFd(d.wakeWrite);
    return true;
}

void SetCaptureInterruptFd(int fd) { g_captureInterruptFd = fd; }

bool RunAndCapture(const std::string& command, std::vector<std::string>& lines,
                   const std::string& currentFolder, TCaptureOutcome* outcome,
                   int timeLimitSeconds) {
    TCaptureOutcome local;
    TCaptureOutcome& result = outcome ? *outcome : local;
    result = {};
    const std::string folder = currentFolder.empty() ? ProgramFolder() : currentFolder;
    SpawnResult sp = Spawn(SplitCommandLine(command), DirectoryExistsEx(folder) ? folder : "",
                           true);
    std::string acc;
    if (sp.pid <= 0) {
        lines.push_back(acc);
        return false;
    }
    result.Started = true;
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::seconds(timeLimitSeconds);
    Clock::time_point killAt{}, giveUpAt{};
    char buf[2400];
    bool lastWasCr = false;
    for (;;) {
        const auto now = Clock::now();
        if (killAt == Clock::time_point{}) {
            const int stopFd = g_captureInterruptFd;
            pollfd stop{stopFd, POLLIN, 0};
            if (stopFd >= 0 && ::poll(&stop, 1, 0) > 0) result.Interrupted = true;
            else if (now >= deadline) result.TimedOut = true;
            if (result.Interrupted || result.TimedOut) {
                ::kill(-sp.pid, SIGTERM);
                killAt = now + std::chrono::milliseconds(300);
                giveUpAt = now + std::chrono::seconds(2);
            }
        } else if (now >= killAt) {
            ::kill(-sp.pid, SIGKILL);
            // a grandchild of another group may still hold the pipe: stop reading after a while
            if (now >= giveUpAt) break;
        }
        pollfd fds[2] = {{sp.outRead, POLLIN, 0}, {g_captureInterruptFd, POLLIN, 0}};
        const int watchStop = killAt == Clock::time_point{} && fds[1].fd >= 0 ? 2 : 1;
        const int ready = ::poll(fds, static_cast<nfds_t>(watchStop), 100);
        if (ready <= 0 || !(fds[0].revents & (POLLIN | POLLHUP | POLLERR))) continue;
        const ssize_t n = ::read(sp.outRead, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        for (ssize_t i = 0; i < n; ++i) {
            const char c = buf[i];
            if (c == '\n' && lastWasCr) {
                lastWasCr = false;
                continue;
            }
            lastWasCr = c == '\r';
            if (c == '\r' || c == '\n') {
                lines.push_back(acc);
                acc.clear();
            } else if (c != '\0') {
                acc += c;
            }
        }
    }
    ::close(sp.outRead);
    if (killAt != Clock::time_point{}) ::kill(-sp.pid, SIGKILL);
    int status = 0;
    while (::waitpid(sp.pid, &status, 0) < 0 && errno == EINTR) {
    }
    Unregister(sp.pid);
    if (sp.inWrite >= 0) ::close(sp.inWrite);
    if (WIFEXITED(status)) {
        result.ExitStatus = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        result.ExitStatus = -1;
        result.TermSignal = WTERMSIG(status);
    }
    lines.push_back(acc);
    return true;
}

std::vector<int> OwnProcessGroups() {
    std::lock_guard lock(RegistryMutex());
    std::vector<int> groups;
    for (const auto& [pid, name] : Registry()) groups.push_back(pid);
    return groups;
}

bool KillProcessByName(const std::string& name) {
    if (name.empty()) return false;
    const std::string upperName = ToUpper(FileNameOf(name));
    std::vector<pid_t> matched;
    {
        std::lock_guard lock(RegistryMutex());
        for (const auto& [pid, exe] : Registry())
            if (exe == upperName) {
                matched.push_back(pid);
                ::kill(-pid, SIGTERM);
            }
    }
    if (matched.empty()) return false;
    // A short grace for front-ends to end the tools they drive, then the hard way. A group is
    // killed only while its leader is still registered (not reaped), so its id is still ours.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(800);
    for (;;) {
        bool anyLeft = false;
        {
            std::lock_guard lock(RegistryMutex());
            for (pid_t pid : matched) {
                if (!Registry().count(pid)) continue;
                anyLeft = true;
                if (std::chrono::steady_clock::now() >= deadline) ::kill(-pid, SIGKILL);
            }
        }
        if (!anyLeft || std::chrono::steady_clock::now() >= deadline) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

} // namespace trimora
