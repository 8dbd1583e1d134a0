#pragma once
// A desktop as a person meets it: an X server of its own (Xvfb, display found through
// -displayfd) with the openbox window manager, the real program started in it, driven by xdotool
// clicks and keys, and judged by screenshots of the whole screen. The X server start and the
// colour helpers are shared with the preview tests, which run Xvfb without a window manager.
#include <QImage>
#include <QSettings>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <map>
#include <poll.h>
#include <string>
#include <sys/prctl.h>
#include <sys/types.h>
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

// Runs the pred every step ms until it holds or ms have passed; whether it held.
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

// Writes the program's settings for the next start (the isolated home's settings file).
inline void Settings(const std::map<QString, QVariant>& values) {
    QSettings reg(QString::fromLocal8Bit(qgetenv("XDG_CONFIG_HOME")) + "/Quennic/TrimoraCut.conf",
                  QSettings::IniFormat);
    for (const auto& [k, v] : values) reg.setValue(k, v);
}

class Desktop {
  public:
    Desktop(int width = 1400, int height = 1000);
    ~Desktop(); // ends every process it started, the programs first
    Desktop(const Desktop&) = delete;
    Desktop& operator=(const Desktop&) = delete;

    bool Ok() const { return xvfb_ > 0 && wm_ > 0; }

    // Starts argv (no shell) on this display with the xcb platform; the process ends with the
    // Desktop at the latest. Returns its pid, or -1.
    pid_t Start(const std::vector<std::string>& argv);
    // Waits up to ms for the program to end by itself (closed from its window); true when it did.
    bool Wait(pid_t pid, int ms = 5000);

    // xdotool with the given arguments on this display; its standard output, trimmed.
    std::string Xdo(const std::vector<std::string>& args) const;
    // The first visible window whose title contains `title`, waiting up to ms; 0 when none.
    unsigned long WaitWindow(const std::string& title, int ms = 15000) const;
    // Window geometry on the screen (frame excluded): x, y, width, height.
    bool Geometry(unsigned long window, int* x, int* y, int* w, int* h) const;
    unsigned long Parent(unsigned long window) const; // 0 when unknown

    void Click(int x, int y) const; // a left click at screen coordinates
    void Key(const std::string& keys) const; // e.g. "Down", "ctrl+a", "Return"
    void Type(const std::string& text) const;
    std::string Clipboard() const; // the text on the clipboard (xclip)
    QImage Screenshot() const;     // the whole screen, RGB32
    static void Sleep(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

  private:
    std::string Capture(const std::vector<std::string>& argv) const; // its standard output
    std::string display_;
    pid_t xvfb_ = -1, wm_ = -1;
    std::vector<pid_t> started_;
};

} // namespace desktop_test
