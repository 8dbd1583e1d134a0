#include "media/keyframes.h"

#include "media/exact_plan.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

extern char** environ;

namespace trimora {

std::vector<double> ParseKeyframeLines(const std::string& text) {
    std::vector<double> times;
    for (const IndexedPacket& packet : ParsePacketLines(text))
        if (packet.key) times.push_back(packet.pts);
    std::sort(times.begin(), times.end());
    times.erase(std::unique(times.begin(), times.end(),
                            [](double a, double b) { return b - a < 0.0005; }),
                times.end());
    return times;
}

std::vector<double> ReadKeyframeTimes(const std::string& path, int timeoutSeconds,
                                      std::string* lines) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attr, 0);
    const std::string file = path;
    const char* argv[] = {"ffprobe", "-v", "error", "-select_streams", "v:0",
                          "-show_entries", "packet=pts_time,flags", "-of", "csv=p=0",
                          "-i", file.c_str(), nullptr};
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, "ffprobe", &actions, &attr, const_cast<char**>(argv),
                                environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    close(fds[1]);
    if (rc != 0) {
        close(fds[0]);
        return {};
    }
    std::string out;
    timespec start{};
    clock_gettime(CLOCK_MONOTONIC, &start);
    bool timedOut = false;
    char buf[65536];
    for (;;) {
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        const long long spent = (now.tv_sec - start.tv_sec) * 1000LL +
                                (now.tv_nsec - start.tv_nsec) / 1000000LL;
        const long long left = timeoutSeconds * 1000LL - spent;
        if (left <= 0) {
            timedOut = true;
            break;
        }
        pollfd p{fds[0], POLLIN, 0};
        const int ready = poll(&p, 1, static_cast<int>(std::min<long long>(left, 1000)));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) continue;
        const ssize_t n = read(fds[0], buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        out.append(buf, static_cast<size_t>(n));
    }
    close(fds[0]);
    if (timedOut) kill(-pid, SIGKILL);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (timedOut || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return {};
    if (lines) *lines = out;
    return ParseKeyframeLines(out);
}

double KeyframeAtOrBefore(const std::vector<double>& keyframes, double t) {
    if (keyframes.empty()) return 0;
    auto it = std::upper_bound(keyframes.begin(), keyframes.end(), t + 0.0005);
    if (it == keyframes.begin()) return keyframes.front();
    return *(it - 1);
}

double KeyframeAtOrAfter(const std::vector<double>& keyframes, double t) {
    auto it = std::lower_bound(keyframes.begin(), keyframes.end(), t - 0.0005);
    return it == keyframes.end() ? -1 : *it;
}

} // namespace trimora
