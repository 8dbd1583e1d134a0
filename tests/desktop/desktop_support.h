#pragma once
// A desktop as a person meets it: an X server of its own (Xvfb, display found through
// -displayfd) with the openbox window manager, the real program started in it, driven by xdotool
// clicks and keys, and judged by screenshots of the whole screen. The X server start and the
// colour helpers are shared with the preview tests, which run Xvfb without a window manager.
#include "support/test_env.h"

#include <QImage>
#include <QSettings>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <map>
#include <poll.h>
#include <string>
#include <sys/prctl.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace desktop_test {

// Forks argv (no shell) with DISPLAY set when given, in a process group of its own, its output
// to outFd (or nowhere) and no other descriptor but keepFd; the child dies with the test process.
inline pid_t Spawn(const std::vector<std::string>& argv, const std::string& display,
                   int outFd = -1, int keepFd = -1) {
    const pid_t pid = ::fork();
    if (pid != 0) return pid;
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    ::setpgid(0, 0);
    if (!display.empty()) ::setenv("DISPLAY", display.c_str(), 1);
    ::setenv("QT_QPA_PLATFORM", "xcb", 1);
    const int devnull = ::open("/dev/null", O_RDWR);
    ::dup2(devnull, 0);
    ::dup2(outFd >= 0 ? outFd : devnull, 1);
    for (int fd = 3; fd < 1024; ++fd)
        if (fd != keepFd) ::close(fd);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    ::execvp(args[0], args.data());
    ::_exit(127);
}

// Starts Xvfb with a screen of width x height on a display it picks itself; its pid and the
// display (":N"), or -1 when it did not come up within 15 s.
inline pid_t StartXvfb(int width, int height, std::string* display) {
    int fds[2];
    if (::pipe(fds) != 0) return -1;
    const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
    const pid_t pid = Spawn({"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0",
                             screen, "-nolisten", "tcp", "-noreset"},
                            "", -1, fds[1]);
    ::close(fds[1]);
    std::string number;
    pollfd p{fds[0], POLLIN, 0};
    char c = 0;
    while (::poll(&p, 1, 15000) > 0 && ::read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    ::close(fds[0]);
    if (pid > 0 && !number.empty()) return *display = ":" + number, pid;
    std::fprintf(stderr, "Xvfb did not start\n");
    return -1;
}

inline bool WaitFor(const std::function<bool()>& pred, int ms, int step = 250) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(step));
    }
    return true;
}

// Mean colour of the w x h box at (x, y) of an image, and whether it is near an expected colour
// (sum of channel differences at most tolerance).
inline QRgb MeanColour(const QImage& img, int x, int y, int w, int h) {
    long r = 0, g = 0, b = 0, n = 0;
    for (int yy = std::max(0, y); yy < std::min(img.height(), y + h); ++yy)
        for (int xx = std::max(0, x); xx < std::min(img.width(), x + w); ++xx) {
            const QRgb p = img.pixel(xx, yy);
            r += qRed(p), g += qGreen(p), b += qBlue(p), ++n;
        }
    return n == 0 ? 0 : qRgb(int(r / n), int(g / n), int(b / n));
}
inline bool Near(QRgb a, QRgb b, int tolerance = 60) {
    return std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) +
               std::abs(qBlue(a) - qBlue(b)) <= tolerance;
}

inline void Settings(const std::map<QString, QVariant>& values) {
    QSettings reg(QString::fromLocal8Bit(qgetenv("XDG_CONFIG_HOME")) + "/Quennic/TrimoraCut.conf",
                  QSettings::IniFormat);
    for (const auto& [k, v] : values) reg.setValue(k, v);
}

struct Rect {
    int x = 0, y = 0, w = 0, h = 0;
    bool operator==(const Rect&) const = default;
};

// Ends the process and its group: SIGTERM, then SIGKILL when it has not ended within ms.
inline void EndGroup(pid_t pid, int ms) {
    if (pid <= 0) return;
    ::kill(-pid, SIGTERM);
    ::kill(pid, SIGTERM);
    if (WaitFor([&] { return ::waitpid(pid, nullptr, WNOHANG) == pid; }, ms, 20)) return;
    ::kill(-pid, SIGKILL);
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
}

class Desktop {
  public:
    Desktop(int width = 1400, int height = 1000) {
        xvfb_ = StartXvfb(width, height, &display_);
        if (xvfb_ < 0) return;
        wm_ = Spawn({"openbox", "--sm-disable"}, display_);
        // openbox is ready once it announces itself on the root window.
        WaitFor([&] { return Capture({"xprop", "-root", "_NET_SUPPORTING_WM_CHECK"})
                                 .find("window id") != std::string::npos; },
                10000, 50);
    }
    ~Desktop() { // ends every process it started, the programs first
        for (pid_t pid : started_) EndGroup(pid, 3000);
        EndGroup(wm_, 2000);
        EndGroup(xvfb_, 2000);
    }
    Desktop(const Desktop&) = delete;
    Desktop& operator=(const Desktop&) = delete;

    bool Ok() const { return xvfb_ > 0 && wm_ > 0; }

    // Starts argv (no shell) on this display with the xcb platform; the process ends with the
    // Desktop at the latest. Returns its pid, or -1.
    pid_t Start(const std::vector<std::string>& argv) {
        const pid_t pid = Spawn(argv, display_);
        if (pid > 0) started_.push_back(pid);
        return pid;
    }
    // Waits up to ms for the program to end by itself (closed from its window); true when it did.
    bool Wait(pid_t pid, int ms = 5000) {
        if (!WaitFor([&] { return ::waitpid(pid, nullptr, WNOHANG) == pid; }, ms, 20)) return false;
        std::erase(started_, pid);
        return true;
    }

    std::string Xdo(const std::vector<std::string>& args) const {
        std::vector<std::string> argv{"xdotool"};
        argv.insert(argv.end(), args.begin(), args.end());
        std::string out = Capture(argv);
        while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
        return out;
    }
    // The first visible window whose title contains `title`, waiting up to ms; 0 when none.
    unsigned long WaitWindow(const std::string& title, int ms = 15000) const {
        std::string out;
        WaitFor([&] { return !(out = Xdo({"search", "--onlyvisible", "--name", title})).empty(); },
                ms, 100);
        return std::strtoul(out.c_str(), nullptr, 10);
    }
    // Window geometry on the screen, frame excluded (all 0 when unknown). xwininfo's absolute
    // position is the client area's; xdotool's adds the frame of a reparenting window manager.
    Rect Geometry(unsigned long window) const {
        const std::string out = Capture({"xwininfo", "-id", std::to_string(window)});
        Rect r;
        int* vals[4] = {&r.x, &r.y, &r.w, &r.h};
        const char* keys[4] = {"Absolute upper-left X:", "Absolute upper-left Y:", "Width:",
                               "Height:"};
        for (int i = 0; i < 4; ++i) {
            const size_t at = out.find(keys[i]);
            if (at == std::string::npos) return {};
            *vals[i] = std::atoi(out.c_str() + at + std::strlen(keys[i]));
        }
        return r;
    }
    unsigned long Parent(unsigned long window) const { // 0 when unknown
        const std::string out = Capture({"xwininfo", "-tree", "-id", std::to_string(window)});
        const size_t at = out.find("Parent window id: ");
        return at == std::string::npos ? 0 : std::strtoul(out.c_str() + at + 18, nullptr, 16);
    }

    void Click(int x, int y) const { // a left click at screen coordinates
        Xdo({"mousemove", "--sync", std::to_string(x), std::to_string(y), "click", "1"});
    }
    void Key(const std::string& keys) const { Xdo({"key", "--clearmodifiers", keys}); }
    void Type(const std::string& text) const { Xdo({"type", "--delay", "20", text}); }
    std::string Clipboard() const { return Capture({"xclip", "-o", "-selection", "clipboard"}); }
    QImage Screenshot() const { // the whole screen, RGB32
        const std::string png = Capture({"import", "-window", "root", "png:-"});
        return QImage::fromData(reinterpret_cast<const uchar*>(png.data()), int(png.size()), "PNG")
            .convertToFormat(QImage::Format_RGB32);
    }
    static void Sleep(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

  private:
    std::string Capture(const std::vector<std::string>& argv) const { // its standard output
        int fds[2];
        if (::pipe(fds) != 0) return "";
        const pid_t pid = Spawn(argv, display_, fds[1]);
        ::close(fds[1]);
        std::string out;
        char buf[65536];
        ssize_t n;
        while ((n = ::read(fds[0], buf, sizeof buf)) > 0 || (n < 0 && errno == EINTR))
            if (n > 0) out.append(buf, static_cast<size_t>(n));
        ::close(fds[0]);
        ::waitpid(pid, nullptr, 0);
        return out;
    }
    std::string display_;
    pid_t xvfb_ = -1, wm_ = -1;
    std::vector<pid_t> started_;
};

// Waits up to 60 s for the program to write path; the file's length in seconds, or -1.
inline double WaitMedia(const std::string& path) {
    double length = -1;
    WaitFor([&] {
        return std::filesystem::exists(path) && (length = trimora_test::ProbeDuration(path)) > 0;
    }, 60000, 300);
    return length;
}

// Places on the screen of the controls of a window saved at the screen's top left at 1400x1000.
constexpr int kFirstRowX = 89, kFirstRowY = 732, kBoxY = 630, kStartBoxX = 646, kEndBoxX = 1338;
constexpr int kStartX = 52, kModeY = 684, kCutX = 203, kJoinX = 273;

// The program on a desktop of its own, in an isolated home whose settings choose the source
// folder `clips` and put the window at the screen's top left at 1400x1000.
struct Session {
    Session() {
        std::filesystem::create_directories(clips);
        Settings({{"FormLeft", 0}, {"FormTop", 0}, {"FormWidth", 1400}, {"FormHeight", 1000},
                  {"ConvertFolder", QString::fromStdString(clips)}});
    }
    // Starts argv (the program when empty) and waits until its window has painted its mode
    // strip; false when it did not.
    bool Open(std::vector<std::string> argv = {}) {
        if (argv.empty()) argv = {trimora_test::BinDir() + "trimora"};
        if (!desk.Ok() || desk.Start(argv) <= 0 || !(window = desk.WaitWindow("Trimora")))
            return false;
        // The first paint is slow on a busy machine (over 15 s seen); the listing follows it.
        const bool painted = WaitFor([&] {
            return Near(desk.Screenshot().pixel(12, kModeY), qRgb(0x26, 0x26, 0x26), 12);
        }, 40000, 500);
        Desktop::Sleep(1000);
        return painted;
    }
    trimora_test::IsolatedHome home;
    const std::string clips = home.Root() + "clips/";
    Desktop desk;
    unsigned long window = 0;
};

} // namespace desktop_test
