#include "desktop/desktop_support.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

namespace desktop_test {
namespace {

// Forks argv with DISPLAY set; the child dies with the test process.
pid_t Spawn(const std::vector<std::string>& argv, const std::string& display, int outFd = -1,
            int keepFd = -1) {
    const pid_t pid = ::fork();
    if (pid != 0) return pid;
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    ::setpgid(0, 0);
    if (!display.empty()) ::setenv("DISPLAY", display.c_str(), 1);
    ::setenv("QT_QPA_PLATFORM", "xcb", 1);
    if (outFd >= 0) ::dup2(outFd, 1);
    const int devnull = ::open("/dev/null", O_RDWR);
    ::dup2(devnull, 0);
    if (outFd < 0) ::dup2(devnull, 1);
    for (int fd = 3; fd < 1024; ++fd)
        if (fd != keepFd) ::close(fd);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    ::execvp(args[0], args.data());
    ::_exit(127);
}

void EndGroup(pid_t pid, int ms) {
    if (pid <= 0) return;
    ::kill(-pid, SIGTERM);
    ::kill(pid, SIGTERM);
    for (int waited = 0; waited < ms; waited += 20) {
        if (::waitpid(pid, nullptr, WNOHANG) == pid) return;
        Desktop::Sleep(20);
    }
    ::kill(-pid, SIGKILL);
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
}

} // namespace

Desktop::Desktop(int width, int height) {
    int fds[2];
    if (::pipe(fds) != 0) return;
    const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
    xvfb_ = Spawn({"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", screen,
                   "-nolisten", "tcp", "-noreset"},
                  "", -1, fds[1]);
    ::close(fds[1]);
    std::string number;
    pollfd p{fds[0], POLLIN, 0};
    char c = 0;
    while (::poll(&p, 1, 15000) > 0 && ::read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    ::close(fds[0]);
    if (number.empty()) {
        std::fprintf(stderr, "desktop: Xvfb did not start\n");
        EndGroup(xvfb_, 1000);
        xvfb_ = -1;
        return;
    }
    display_ = ":" + number;
    wm_ = Spawn({"openbox", "--sm-disable"}, display_);
    // openbox is ready once it announces itself on the root window.
    for (int i = 0; i < 200 && wm_ > 0; ++i) {
        int fd[2];
        if (::pipe(fd) != 0) break;
        const pid_t probe = Spawn({"xprop", "-root", "_NET_SUPPORTING_WM_CHECK"}, display_, fd[1]);
        ::close(fd[1]);
        std::string out;
        char buf[256];
        ssize_t n;
        while ((n = ::read(fd[0], buf, sizeof buf)) > 0) out.append(buf, static_cast<size_t>(n));
        ::close(fd[0]);
        ::waitpid(probe, nullptr, 0);
        if (out.find("window id") != std::string::npos) break;
        Sleep(50);
    }
}

Desktop::~Desktop() {
    for (pid_t pid : started_) EndGroup(pid, 3000);
    EndGroup(wm_, 2000);
    EndGroup(xvfb_, 2000);
}

pid_t Desktop::Start(const std::vector<std::string>& argv) {
    const pid_t pid = Spawn(argv, display_);
    if (pid > 0) started_.push_back(pid);
    return pid;
}

bool Desktop::Stop(pid_t pid, int ms) {
    ::kill(pid, SIGTERM);
    return Wait(pid, ms);
}

bool Desktop::Wait(pid_t pid, int ms) {
    for (int waited = 0; waited < ms; waited += 20) {
        if (::waitpid(pid, nullptr, WNOHANG) == pid) {
            std::erase(started_, pid);
            return true;
        }
        Sleep(20);
    }
    return false;
}

std::string Desktop::Xdo(const std::vector<std::string>& args, int* exitCode) const {
    int fds[2];
    if (::pipe(fds) != 0) return "";
    std::vector<std::string> argv{"xdotool"};
    argv.insert(argv.end(), args.begin(), args.end());
    const pid_t pid = Spawn(argv, display_, fds[1]);
    ::close(fds[1]);
    std::string out;
    char buf[4096];
    ssize_t n;
    while ((n = ::read(fds[0], buf, sizeof buf)) > 0 || (n < 0 && errno == EINTR))
        if (n > 0) out.append(buf, static_cast<size_t>(n));
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (exitCode) *exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
    return out;
}

unsigned long Desktop::WaitWindow(const std::string& title, int ms) const {
    for (int waited = 0; waited < ms; waited += 100) {
        const std::string out = Xdo({"search", "--onlyvisible", "--name", title});
        if (!out.empty()) return std::strtoul(out.c_str(), nullptr, 10);
        Sleep(100);
    }
    return 0;
}

std::string Desktop::Capture(const std::vector<std::string>& argv) const {
    int fds[2];
    if (::pipe(fds) != 0) return "";
    const pid_t pid = Spawn(argv, display_, fds[1]);
    ::close(fds[1]);
    std::string out;
    char buf[4096];
    ssize_t n;
    while ((n = ::read(fds[0], buf, sizeof buf)) > 0 || (n < 0 && errno == EINTR))
        if (n > 0) out.append(buf, static_cast<size_t>(n));
    ::close(fds[0]);
    ::waitpid(pid, nullptr, 0);
    return out;
}

bool Desktop::Geometry(unsigned long window, int* x, int* y, int* w, int* h) const {
    // xwininfo's absolute position is the client area's; xdotool's adds the frame of a
    // reparenting window manager once more.
    const std::string out = Capture({"xwininfo", "-display", display_, "-id", std::to_string(window)});
    int* vals[4] = {x, y, w, h};
    const char* keys[4] = {"Absolute upper-left X:", "Absolute upper-left Y:", "Width:", "Height:"};
    for (int i = 0; i < 4; ++i) {
        const size_t at = out.find(keys[i]);
        if (at == std::string::npos) return false;
        *vals[i] = std::atoi(out.c_str() + at + std::strlen(keys[i]));
    }
    return true;
}

std::string Desktop::Clipboard() const {
    return Capture({"xclip", "-display", display_, "-o", "-selection", "clipboard"});
}

unsigned long Desktop::Parent(unsigned long window) const {
    const std::string out =
        Capture({"xwininfo", "-display", display_, "-tree", "-id", std::to_string(window)});
    const size_t at = out.find("Parent window id: ");
    return at == std::string::npos ? 0 : std::strtoul(out.c_str() + at + 18, nullptr, 16);
}

void Desktop::Click(int x, int y, int button) const {
    Xdo({"mousemove", "--sync", std::to_string(x), std::to_string(y), "click",
         std::to_string(button)});
}

void Desktop::Key(const std::string& keys) const {
    Xdo({"key", "--clearmodifiers", keys});
}

void Desktop::Type(const std::string& text) const {
    Xdo({"type", "--delay", "20", text});
}

QImage Desktop::Screenshot() const {
    int fds[2];
    if (::pipe(fds) != 0) return {};
    const pid_t pid = Spawn({"import", "-display", display_, "-window", "root", "png:-"},
                            display_, fds[1]);
    ::close(fds[1]);
    QByteArray png;
    char buf[65536];
    ssize_t n;
    while ((n = ::read(fds[0], buf, sizeof buf)) > 0 || (n < 0 && errno == EINTR))
        if (n > 0) png.append(buf, n);
    ::close(fds[0]);
    ::waitpid(pid, nullptr, 0);
    return QImage::fromData(png, "PNG").convertToFormat(QImage::Format_RGB32);
}

void Desktop::Sleep(int ms) {
    timespec t{ms / 1000, (ms % 1000) * 1000000L};
    while (::nanosleep(&t, &t) != 0 && errno == EINTR) {
    }
}

QRgb MeanColour(const QImage& img, int x, int y, int w, int h) {
    long r = 0, g = 0, b = 0, n = 0;
    for (int yy = std::max(0, y); yy < std::min(img.height(), y + h); ++yy)
        for (int xx = std::max(0, x); xx < std::min(img.width(), x + w); ++xx) {
            const QRgb p = img.pixel(xx, yy);
            r += qRed(p), g += qGreen(p), b += qBlue(p), ++n;
        }
    if (n == 0) return 0;
    return qRgb(static_cast<int>(r / n), static_cast<int>(g / n), static_cast<int>(b / n));
}

bool Near(QRgb a, QRgb b, int tolerance) {
    return std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) +
               std::abs(qBlue(a) - qBlue(b)) <=
           tolerance;
}

} // namespace desktop_test
