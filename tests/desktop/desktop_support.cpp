#include "desktop/desktop_support.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <sys/wait.h>

namespace desktop_test {
namespace {

// Ends the process and its group: SIGTERM, then SIGKILL when it has not ended within ms.
void EndGroup(pid_t pid, int ms) {
    if (pid <= 0) return;
    ::kill(-pid, SIGTERM);
    ::kill(pid, SIGTERM);
    if (WaitFor([&] { return ::waitpid(pid, nullptr, WNOHANG) == pid; }, ms, 20)) return;
    ::kill(-pid, SIGKILL);
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
}

} // namespace

Desktop::Desktop(int width, int height) {
    xvfb_ = StartXvfb(width, height, &display_);
    if (xvfb_ < 0) return;
    wm_ = Spawn({"openbox", "--sm-disable"}, display_);
    // openbox is ready once it announces itself on the root window.
    WaitFor([&] { return Capture({"xprop", "-root", "_NET_SUPPORTING_WM_CHECK"}).find("window id") !=
                         std::string::npos; },
            10000, 50);
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

bool Desktop::Wait(pid_t pid, int ms) {
    if (!WaitFor([&] { return ::waitpid(pid, nullptr, WNOHANG) == pid; }, ms, 20)) return false;
    std::erase(started_, pid);
    return true;
}

std::string Desktop::Capture(const std::vector<std::string>& argv) const {
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

std::string Desktop::Xdo(const std::vector<std::string>& args) const {
    std::vector<std::string> argv{"xdotool"};
    argv.insert(argv.end(), args.begin(), args.end());
    std::string out = Capture(argv);
    while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
    return out;
}

unsigned long Desktop::WaitWindow(const std::string& title, int ms) const {
    std::string out;
    WaitFor([&] { return !(out = Xdo({"search", "--onlyvisible", "--name", title})).empty(); },
            ms, 100);
    return std::strtoul(out.c_str(), nullptr, 10);
}

bool Desktop::Geometry(unsigned long window, int* x, int* y, int* w, int* h) const {
    // xwininfo's absolute position is the client area's; xdotool's adds the frame of a
    // reparenting window manager once more.
    const std::string out = Capture({"xwininfo", "-id", std::to_string(window)});
    int* vals[4] = {x, y, w, h};
    const char* keys[4] = {"Absolute upper-left X:", "Absolute upper-left Y:", "Width:", "Height:"};
    for (int i = 0; i < 4; ++i) {
        const size_t at = out.find(keys[i]);
        if (at == std::string::npos) return false;
        *vals[i] = std::atoi(out.c_str() + at + std::strlen(keys[i]));
    }
    return true;
}

unsigned long Desktop::Parent(unsigned long window) const {
    const std::string out = Capture({"xwininfo", "-tree", "-id", std::to_string(window)});
    const size_t at = out.find("Parent window id: ");
    return at == std::string::npos ? 0 : std::strtoul(out.c_str() + at + 18, nullptr, 16);
}

void Desktop::Click(int x, int y) const {
    Xdo({"mousemove", "--sync", std::to_string(x), std::to_string(y), "click", "1"});
}

void Desktop::Key(const std::string& keys) const {
    Xdo({"key", "--clearmodifiers", keys});
}

void Desktop::Type(const std::string& text) const {
    Xdo({"type", "--delay", "20", text});
}

std::string Desktop::Clipboard() const {
    return Capture({"xclip", "-o", "-selection", "clipboard"});
}

QImage Desktop::Screenshot() const {
    const std::string png = Capture({"import", "-window", "root", "png:-"});
    return QImage::fromData(reinterpret_cast<const uchar*>(png.data()), int(png.size()), "PNG")
        .convertToFormat(QImage::Format_RGB32);
}

} // namespace desktop_test
