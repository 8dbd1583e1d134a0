#include "exec/dos_cmd_process.h"

#include "common/command_line.h"
#include "common/helpers.h"
#include "common/safe_output.h"

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstring>
#include <dirent.h>
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
    pid_t pid = -1;
    const int rc = ::posix_spawnp(&pid, argv[0], &fa, &attr, argv.data(), environ);
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

bool RunAndCapture(const std::string& command, std::vector<std::string>& lines,
                   const std::string& currentFolder) {
    const std::string folder = currentFolder.empty() ? ProgramFolder() : currentFolder;
    SpawnResult sp = Spawn(SplitCommandLine(command), DirectoryExistsEx(folder) ? folder : "",
                           false);
    std::string acc;
    if (sp.pid <= 0) {
        lines.push_back(acc);
        return false;
    }
    char buf[2400];
    bool lastWasCr = false;
    for (;;) {
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
    int status = 0;
    while (::waitpid(sp.pid, &status, 0) < 0 && errno == EINTR) {
    }
    lines.push_back(acc);
    return true;
}

namespace {

std::string ReadSmallFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return "";
    char buf[4096];
    const ssize_t n = ::read(fd, buf, sizeof buf);
    ::close(fd);
    return n > 0 ? std::string(buf, static_cast<size_t>(n)) : "";
}

bool ProcessMatches(const std::string& pidDir, const std::string& upperName) {
    std::string comm = ReadSmallFile(pidDir + "/comm");
    while (!comm.empty() && (comm.back() == '\n' || comm.back() == '\0')) comm.pop_back();
    if (!comm.empty() && ToUpper(comm) == upperName) return true;
    char buf[4096];
    const ssize_t n = ::readlink((pidDir + "/exe").c_str(), buf, sizeof buf - 1);
    if (n > 0) {
        std::string exe(buf, static_cast<size_t>(n));
        const std::string deleted = " (deleted)";
        if (exe.size() > deleted.size() &&
            exe.compare(exe.size() - deleted.size(), deleted.size(), deleted) == 0)
            exe.erase(exe.size() - deleted.size());
        if (ToUpper(FileNameOf(exe)) == upperName || ToUpper(exe) == upperName) return true;
    }
    const std::string cmdline = ReadSmallFile(pidDir + "/cmdline");
    const std::string argv0 = cmdline.substr(0, cmdline.find('\0'));
    return !argv0.empty() && (ToUpper(FileNameOf(argv0)) == upperName || ToUpper(argv0) == upperName);
}

} // namespace

bool KillProcessByName(const std::string& name) {
    if (name.empty()) return false;
    const std::string upperName = ToUpper(name);
    const pid_t self = ::getpid();
    const uid_t uid = ::getuid();
    std::vector<pid_t> matched;
    if (DIR* proc = ::opendir("/proc")) {
        while (dirent* e = ::readdir(proc)) {
            if (!IsAllDigits(e->d_name)) continue;
            const pid_t pid = static_cast<pid_t>(std::atol(e->d_name));
            if (pid == self) continue;
            const std::string dir = std::string("/proc/") + e->d_name;
            struct stat st {};
            if (::stat(dir.c_str(), &st) != 0 || st.st_uid != uid) continue;
            if (ProcessMatches(dir, upperName)) matched.push_back(pid);
        }
        ::closedir(proc);
    }
    if (matched.empty()) return false;
    bool result = false;
    for (pid_t pid : matched) result = ::kill(pid, SIGTERM) == 0;
    // A short grace for front-ends to end the tools they drive, then the hard way.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(800);
    for (;;) {
        bool anyAlive = false;
        for (pid_t pid : matched) {
            const std::string stat = ReadSmallFile("/proc/" + std::to_string(pid) + "/stat");
            const size_t close = stat.rfind(')');
            const bool zombie = close != std::string::npos && close + 2 < stat.size() &&
                                stat[close + 2] == 'Z';
            if (!stat.empty() && !zombie) anyAlive = true;
        }
        if (!anyAlive) break;
        if (std::chrono::steady_clock::now() >= deadline) {
            for (pid_t pid : matched) ::kill(pid, SIGKILL);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return result;
}

} // namespace trimora
