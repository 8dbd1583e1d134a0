#pragma once
// Helpers of the preview tests: screen grabs of native panels, waiting with the event loop
// running, and the mplayer processes of this test run.
#include "common/helpers.h"
#include "desktop/desktop_support.h"
#include "support/test_env.h"

#include <QApplication>
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

// Share of sampled pixels of b that differ clearly from a (1 when the sizes differ).
inline double Difference(const QImage& a, const QImage& b) {
    if (a.size() != b.size() || a.isNull()) return 1.0;
    int diff = 0, total = 0;
    for (int y = 0; y < a.height(); y += 2)
        for (int x = 0; x < a.width(); x += 2, ++total)
            diff += !desktop_test::Near(a.pixel(x, y), b.pixel(x, y));
    return double(diff) / total;
}

// True when the image shows a picture: an empty panel is one colour (its background, or black
// while nothing has painted it), a frame of the test clip has many.
inline bool ShowsPicture(const QImage& img) {
    int other = 0;
    for (int y = 0; y < img.height(); y += 2)
        for (int x = 0; x < img.width(); x += 2)
            other += (img.pixel(x, y) & 0xFFFFFF) != (img.pixel(0, 0) & 0xFFFFFF);
    return other > 50;
}

// Running mplayer processes started by this test process.
inline size_t OwnPlayers() {
    size_t n = 0;
    for (const auto& [pid, comm] : trimora_test::Descendants(::getpid()))
        n += trimora::ContainsNoCase(comm, "mplayer");
    return n;
}

// A 160x120 4-s clip of the given container with a key frame every 0.2 s, so a seek lands close
// to the second asked for; made once per test run.
inline std::string Clip(const std::string& ext) {
    const std::string src = "-f lavfi -i testsrc=size=160x120:rate=25:duration=4 -g 5 ";
    const std::string codec = ext == ".wmv"   ? "-c:v wmv2 -an"
                              : ext == ".mp4" ? "-c:v libx264 -pix_fmt yuv420p -an"
                                              : "-c:v mpeg4 -q:v 3 -an";
    return trimora_test::SampleClip("preview_g5" + ext, src + codec);
}

} // namespace preview_test
