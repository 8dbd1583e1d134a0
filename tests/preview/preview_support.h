#pragma once
// Helpers of the preview tests: screen grabs of native panels, waiting with the event loop
// running, and the mplayer processes of this test run.
#include <QApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QWidget>

#include <functional>
#include <string>

namespace preview_test {

// What the X server shows in the panel's window, mplayer's drawing included (a widget grab
// would only repaint Qt's own background).
inline QImage GrabPanel(QWidget* panel) {
    QScreen* screen = QGuiApplication::primaryScreen();
    return screen->grabWindow(panel->winId()).toImage().convertToFormat(QImage::Format_RGB32);
}

// True when the image shows a picture: an empty panel is one colour (its background, or black
// while nothing has painted it), a frame of the test clip has many.
inline bool ShowsPicture(const QImage& img) {
    if (img.isNull()) return false;
    const QRgb first = img.pixel(0, 0) & 0xFFFFFF;
    int other = 0;
    for (int y = 0; y < img.height(); y += 2)
        for (int x = 0; x < img.width(); x += 2)
            if ((img.pixel(x, y) & 0xFFFFFF) != first) ++other;
    return other > 50;
}

// Share of sampled pixels that differ clearly between two grabs of the same size.
inline double Difference(const QImage& a, const QImage& b) {
    if (a.size() != b.size() || a.isNull()) return 1.0;
    int diff = 0, total = 0;
    for (int y = 0; y < a.height(); y += 2)
        for (int x = 0; x < a.width(); x += 2) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            ++total;
            if (std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) +
                    std::abs(qBlue(p) - qBlue(q)) >
                60)
                ++diff;
        }
    return total ? double(diff) / total : 0.0;
}

// Runs the event loop until pred holds or ms pass; returns the milliseconds it took, or -1.
inline qint64 WaitUntil(const std::function<bool()>& pred, int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        if (pred()) return t.elapsed();
    }
    return pred() ? t.elapsed() : -1;
}

inline void Spin(int ms) {
    WaitUntil([] { return false; }, ms);
}

// Process ids of running mplayer processes started by this test process (its children).
std::vector<int> OwnPlayerPids();

// A 160x120 4-s clip of the given container, made once per test run.
std::string Clip(const std::string& ext);

} // namespace preview_test
