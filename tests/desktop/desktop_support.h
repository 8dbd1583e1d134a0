#pragma once
// A desktop as a person meets it: an X server of its own (Xvfb, display found through
// -displayfd) with the openbox window manager, the real program started in it, driven by xdotool
// clicks and keys, and judged by screenshots of the whole screen.
#include <QImage>

#include <string>
#include <sys/types.h>
#include <vector>

namespace desktop_test {

class Desktop {
  public:
    Desktop(int width = 1400, int height = 1000);
    ~Desktop(); // ends every process it started, the programs first
    Desktop(const Desktop&) = delete;
    Desktop& operator=(const Desktop&) = delete;

    bool Ok() const { return xvfb_ > 0 && wm_ > 0; }
    const std::string& Display() const { return display_; } // ":N"

    // Starts argv (no shell) on this display with the xcb platform; the process ends with the
    // Desktop at the latest. Returns its pid, or -1.
    pid_t Start(const std::vector<std::string>& argv);
    // Asks the program to end (SIGTERM) and waits up to ms for it; true when it ended.
    bool Stop(pid_t pid, int ms = 5000);
    // Waits up to ms for the program to end by itself (closed from its window); true when it did.
    bool Wait(pid_t pid, int ms = 5000);

    // xdotool with the given arguments on this display; its standard output, trimmed.
    std::string Xdo(const std::vector<std::string>& args, int* exitCode = nullptr) const;
    // The first visible window whose title contains `title`, waiting up to ms; 0 when none.
    unsigned long WaitWindow(const std::string& title, int ms = 15000) const;
    // Window geometry on the screen (frame excluded): x, y, width, height.
    bool Geometry(unsigned long window, int* x, int* y, int* w, int* h) const;
    unsigned long Parent(unsigned long window) const; // 0 when unknown

    void Click(int x, int y, int button = 1) const;       // screen coordinates
    void Key(const std::string& keys) const;              // e.g. "Down", "ctrl+a", "Return"
    void Type(const std::string& text) const;
    std::string Clipboard() const; // the text on the clipboard (xclip)
    QImage Screenshot() const;                             // the whole screen, RGB32
    static void Sleep(int ms);

  private:
    std::string Capture(const std::vector<std::string>& argv) const; // its standard output
    std::string display_;
    pid_t xvfb_ = -1, wm_ = -1;
    std::vector<pid_t> started_;
};

// Mean colour of the w x h box at (x, y) of an image, and whether it is near an expected colour
// (sum of channel differences at most tolerance).
QRgb MeanColour(const QImage& img, int x, int y, int w, int h);
bool Near(QRgb a, QRgb b, int tolerance = 60);

} // namespace desktop_test
