// The window's figures, measured as a user meets them: a real window on an X server (Xvfb),
// clicks and slider releases sent as mouse events, and "picture drawn" read from the screen's
// pixels in each preview's panel. Only the list, the sliders, the time boxes and Start are
// touched, so the figures keep their meaning whatever draws the pictures.

#include "window_bench.h"

#include "app/main_form.h"
#include "common/helpers.h"
#include "jobs/trim.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QThread>
#include <QTreeWidget>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

struct Rgb {
    int r, g, b;
};
constexpr Rgb kMagenta{255, 0, 255}, kGreen{0, 255, 0}, kBlue{0, 0, 255};

// Pixels of colour c (within the tolerance an encoded picture keeps) in the screen area of w.
int CountColour(QWidget* w, Rgb c) {
    const QPoint at = w->mapToGlobal(QPoint(0, 0));
    const QImage img = QGuiApplication::primaryScreen()
                           ->grabWindow(0, at.x(), at.y(), w->width(), w->height())
                           .toImage()
                           .convertToFormat(QImage::Format_RGB32);
    int n = 0;
    for (int y = 0; y < img.height(); y += 2) {
        const auto* line = reinterpret_cast<const QRgb*>(img.constScanLine(y));
        for (int x = 0; x < img.width(); x += 2) {
            const QRgb p = line[x];
            if (std::abs(qRed(p) - c.r) < 70 && std::abs(qGreen(p) - c.g) < 70 &&
                std::abs(qBlue(p) - c.b) < 70)
                ++n;
        }
    }
    return n * 4;
}

// Seconds until done() holds, processing events meanwhile; negative after the time limit.
double WaitFor(const Clock::time_point t0, const std::function<bool()>& done, double limit = 15) {
    for (;;) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
        const double s = std::chrono::duration<double>(Clock::now() - t0).count();
        if (done()) return s;
        if (s > limit) return -1;
        QThread::msleep(3);
    }
}

void Settle(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(5);
    }
}

// With TRIMORA_BENCH_SHOTS=DIR, the screen as the figure was taken, to check what was judged.
void Shot(const std::string& name) {
    if (const char* dir = std::getenv("TRIMORA_BENCH_SHOTS"))
        QGuiApplication::primaryScreen()->grabWindow(0).save(
            QString::fromStdString(std::string(dir) + "/" + name + ".png"));
}

void MouseUp(QWidget* target, QPoint local, bool press) {
    const QPointF pos(local), global(target->mapToGlobal(local));
    if (press) {
        QMouseEvent down(QEvent::MouseButtonPress, pos, global, Qt::LeftButton, Qt::LeftButton,
                         Qt::NoModifier);
        QCoreApplication::sendEvent(target, &down);
    }
    QMouseEvent up(QEvent::MouseButtonRelease, pos, global, Qt::LeftButton, Qt::NoButton,
                   Qt::NoModifier);
    QCoreApplication::sendEvent(target, &up);
}

int RowOf(QTreeWidget* list, const std::string& name) {
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        if (list->topLevelItem(i)->text(0).toStdString() == name) return i;
    return -1;
}

void ClickRow(QTreeWidget* list, int row) {
    QTreeWidgetItem* item = list->topLevelItem(row);
    list->scrollToItem(item);
    MouseUp(list->viewport(), list->visualItemRect(item).center(), true);
}

} // namespace

std::vector<BenchFigure> RunWindowFigures(const WindowBenchInputs& in) {
    std::vector<BenchFigure> figures;
    const bool onScreen = std::getenv("DISPLAY") != nullptr;
    int argc = 1;
    char arg0[] = "trimora_bench";
    char* argv[] = {arg0, nullptr};
    QApplication app(argc, argv);
    trimora::MainForm form;
    form.resize(1280, 860);
    form.show();
    Settle(1500); // the start-up delay of the window's jobs

    // Listing: the same folders into the window's source list, as a folder choice does it.
    for (const auto& [dir, bareSeconds] : in.Listings) {
        std::vector<double> t;
        for (int i = 0; i < in.Runs; ++i) {
            const auto t0 = Clock::now();
            form.FillFileList(dir, trimora::MainForm::kSourcePattern, form.LvInput, false);
            t.push_back(std::chrono::duration<double>(Clock::now() - t0).count());
        }
        figures.push_back({"window list of " + std::to_string(form.LvInput->topLevelItemCount()) +
                               " videos (" + fs::path(dir).parent_path().filename().string() + ")",
                           BenchMedian(t), bareSeconds, "< 2x", BenchMedian(t) < 2 * bareSeconds});
    }

    form.State.ConvertFolder = in.ClipFolder;
    form.State.SaveConvertFolder = in.OutFolder;
    form.FillFileList(in.ClipFolder, trimora::MainForm::kSourcePattern, form.LvInput, false);
    const int rowA = RowOf(form.LvInput, in.ClipA), rowB = RowOf(form.LvInput, in.ClipB);
    const int rowBig = RowOf(form.LvInput, in.BigClip);
    QWidget* startArea = form.StartSlider->parentWidget();
    QWidget* endArea = form.EndSlider->parentWidget();
    const int enough = startArea->width() * startArea->height() / 8;

    if (onScreen && rowA >= 0 && rowB >= 0) {
        // Clip A starts magenta and ends green; clip B is blue throughout. Clicking them in turn
        // changes both pictures every time. (The end picture is taken as drawn once it shows the
        // clip, at whatever position the end preview opens it.)
        std::vector<double> toStart, toEnd;
        int missed = 0;
        for (int i = 0; i < in.Runs * 2; ++i) {
            const bool a = i % 2 == 0;
            const Rgb first = a ? kMagenta : kBlue;
            const auto t0 = Clock::now();
            ClickRow(form.LvInput, a ? rowA : rowB);
            double s = -1, e = -1;
            WaitFor(t0, [&] {
                if (s < 0 && CountColour(startArea, first) > enough)
                    s = std::chrono::duration<double>(Clock::now() - t0).count();
                if (e < 0 && (a ? std::max(CountColour(endArea, kMagenta),
                                           CountColour(endArea, kGreen))
                                    : CountColour(endArea, kBlue)) > enough)
                    e = std::chrono::duration<double>(Clock::now() - t0).count();
                return s >= 0 && e >= 0;
            });
            if (s < 0 || e < 0) ++missed;
            Shot("click" + std::to_string(i));
            toStart.push_back(s < 0 ? 99 : s);
            toEnd.push_back(e < 0 ? 99 : e);
            Settle(400);
        }
        figures.push_back({"click on a clip to start picture (s)", BenchMedian(toStart), 0,
                           "< 0.6 s", BenchMedian(toStart) < 0.6 && missed == 0});
        figures.push_back({"click on a clip to end picture (s)", BenchMedian(toEnd), 0, "< 1.0 s",
                           BenchMedian(toEnd) < 1.0 && missed == 0});

        // Seeks: clip A's start picture, alternately into its green half and back.
        ClickRow(form.LvInput, rowA);
        WaitFor(Clock::now(), [&] { return CountColour(startArea, kMagenta) > enough; });
        Settle(800);
        std::vector<double> toPicture, toText;
        for (int i = 0; i < in.Runs * 2; ++i) {
            const bool intoGreen = i % 2 == 0;
            const int target = intoGreen ? 45 : 10;
            const QString before = form.EditStartTime->text();
            const auto t0 = Clock::now();
            form.StartSlider->setValue(target); // the drag, then the release
            MouseUp(form.StartSlider, QPoint(form.StartSlider->width() / 2, 5), false);
            double p = -1, t = -1;
            WaitFor(t0, [&] {
                if (p < 0 && CountColour(startArea, intoGreen ? kGreen : kMagenta) > enough)
                    p = std::chrono::duration<double>(Clock::now() - t0).count();
                if (t < 0 && form.EditStartTime->text() != before)
                    t = std::chrono::duration<double>(Clock::now() - t0).count();
                return p >= 0 && t >= 0;
            });
            Shot("seek" + std::to_string(i));
            toPicture.push_back(p < 0 ? 99 : p);
            toText.push_back(t < 0 ? 99 : t);
            Settle(300);
        }
        figures.push_back({"slider drag+release to new start picture", BenchMedian(toPicture), 0,
                           "< 0.15 s", BenchMedian(toPicture) < 0.15});
        figures.push_back({"slider drag+release to new time text", BenchMedian(toText), 0,
                           "< 0.15 s", BenchMedian(toText) < 0.15});
    } else {
        std::fprintf(stderr, "no X server: the picture figures are not measured\n");
    }

    // Start to DONE of a copy cut, against the bare copy of the same range.
    if (rowBig >= 0) {
        ClickRow(form.LvInput, rowBig);
        Settle(1500);
        std::vector<double> ours, raw;
        for (int i = 0; i < in.Runs; ++i) {
            in.RemoveOutputs();
            form.EditStartTime->setText(QStringLiteral("00:00:30.000"));
            form.EditEndTime->setText(QStringLiteral("00:00:50.000"));
            const QString id = QString::number(form.State.JobCounter + 1);
            // Done when the job's row says DONE and Start can be pressed again.
            auto done = [&] {
                if (!form.btnStart->isEnabled()) return false;
                for (int r = 0; r < form.lvProgress->topLevelItemCount(); ++r) {
                    const QTreeWidgetItem* row = form.lvProgress->topLevelItem(r);
                    if (row->text(trimora::col::OutId) == id &&
                        row->text(trimora::col::OutStatus) == "DONE")
                        return true;
                }
                return false;
            };
            const auto t0 = Clock::now();
            form.btnStartClick();
            const double s = WaitFor(t0, done, 120);
            if (s < 0) std::fprintf(stderr, "window cut did not end DONE\n");
            ours.push_back(s < 0 ? 999 : s);
            raw.push_back(in.BareCopy());
        }
        const double ratio = BenchMedian(ours) / BenchMedian(raw);
        figures.push_back({"window Start to DONE, 20 s copy cut", BenchMedian(ours),
                           BenchMedian(raw), "<= 1.05", ratio <= 1.05});
    }
    form.close();
    return figures;
}
