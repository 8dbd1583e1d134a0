// The two previews in the real window: a click on a clip loads both players into their panels,
// sliders and step buttons seek them and the time boxes follow, frames are saved as images,
// and no player outlives a mode change or the window.
#include "desktop/desktop_support.h"
#include "gui/gui_support.h"

#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QSlider>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include <filesystem>

using namespace trimora;
using namespace trimora_test;

namespace {

// What the X server shows in the panel's window, mplayer's drawing included (a widget grab
// would only repaint Qt's own background).
QImage GrabPanel(QWidget* panel) {
    QScreen* screen = QGuiApplication::primaryScreen();
    return screen->grabWindow(panel->winId()).toImage().convertToFormat(QImage::Format_RGB32);
}

// True when the image shows a picture: an empty panel is one colour (its background, or black
// while nothing has painted it), a frame of the test clip has many.
bool ShowsPicture(const QImage& img) {
    int other = 0;
    for (int y = 0; y < img.height(); y += 2)
        for (int x = 0; x < img.width(); x += 2)
            other += (img.pixel(x, y) & 0xFFFFFF) != (img.pixel(0, 0) & 0xFFFFFF);
    return other > 50;
}

size_t OwnPlayers() {
    size_t n = 0;
    for (const auto& [pid, comm] : Descendants(::getpid()))
        n += trimora::ContainsNoCase(comm, "mplayer");
    return n;
}

// The window with a 160x120 4-s AVI and WMV clip listed, a key frame every 0.2 s so a seek
// lands close to the second asked for; no player outlives it.
class WindowPreview : public WindowTest {
  protected:
    void SetUp() override {
        const std::string clips = home.Root() + "clips/";
        std::filesystem::create_directories(clips);
        const std::string src = "-f lavfi -i testsrc=size=160x120:rate=25:duration=4 -g 5 -an ";
        for (const auto& [ext, codec] :
             {std::pair{".avi", "-c:v mpeg4 -q:v 3"}, {".wmv", "-c:v wmv2"}})
            std::filesystem::copy_file(SampleClip(std::string("preview_g5") + ext, src + codec),
                                       clips + "clip" + ext);
        form.resize(1000, 700);
        form.ComboConvert->setEditText(QString::fromStdString(clips));
        form.ComboConvertSelect();
        ASSERT_EQ(form.LvInput->topLevelItemCount(), 2);
    }
    void TearDown() override {
        form.close();
        EXPECT_EQ(OwnPlayers(), 0u);
    }

    // Clicks the clip's row as the user does; returns the milliseconds until both panels show
    // a picture, or -1.
    qint64 ClickClip(const std::string& name) {
        QTreeWidget* list = form.LvInput;
        const auto items = list->findItems(QString::fromStdString(name), Qt::MatchExactly);
        EXPECT_EQ(items.size(), 1);
        if (items.isEmpty()) return -1;
        QElapsedTimer clock;
        clock.start();
        ClickRow(list, list->indexOfTopLevelItem(items.first()));
        return WaitUntil([&] { return ShowsPicture(GrabPanel(form.VidStartPanel)) &&
                                      ShowsPicture(GrabPanel(form.VidEndPanel)); },
                         5000)
                   ? clock.elapsed()
                   : -1;
    }

    // Both players were told to hold their pictures (the status may still say Playing when
    // the player opened its video output after the pause).
    void WaitPaused() {
        EXPECT_TRUE(
            WaitUntil([&] { return !form.Core.PollingActive && !form.CoreEnd.PollingActive; }, 3000));
        Pump(400);
    }

    static double Seconds(QLineEdit* edit) {
        return ParseTimeSecondsFrac(edit->text().trimmed().toStdString());
    }

    // Releases the slider at value; whether the box then shows a new text that reads about
    // expected (within 1 s).
    bool ReleaseSliderAt(QSlider* slider, QLineEdit* edit, int value, double expected) {
        const QString before = edit->text();
        slider->setValue(value);
        QTest::mouseRelease(slider, Qt::LeftButton, {}, QPoint(5, slider->height() / 2));
        return WaitUntil(
            [&] { return edit->text() != before && std::abs(Seconds(edit) - expected) <= 1.0; },
            3000);
    }

};

} // namespace

TEST_F(WindowPreview, ClickShowsBothPicturesAndSlidersAndStepsSeek) {
    EXPECT_FALSE(ShowsPicture(GrabPanel(form.VidStartPanel)));
    EXPECT_FALSE(ShowsPicture(GrabPanel(form.VidEndPanel)));
    const qint64 shown = ClickClip("clip.avi"); // within 5 s, however busy the machine
    std::printf("[ timing ] click on a clip to both pictures: %lld ms\n",
                static_cast<long long>(shown));
    EXPECT_GE(shown, 0);
    EXPECT_EQ(form.StartSlider->maximum(), 4);
    WaitPaused();
    EXPECT_GE(form.CoreEnd.SecondPosition, 3) << "the end preview holds the clip's end";

    // Step buttons move one second.
    for (const auto& [button, slider, edit, by] :
         {std::tuple{form.BtnStartFwd, form.StartSlider, form.EditStartTime, 1},
          std::tuple{form.BtnStartFwd, form.StartSlider, form.EditStartTime, 1},
          std::tuple{form.btnStartRewind, form.StartSlider, form.EditStartTime, -1},
          std::tuple{form.btnEndRewind, form.EndSlider, form.EditEndTime, -1}}) {
        const double at = Seconds(edit);
        const int value = slider->value();
        QTest::mouseClick(button, Qt::LeftButton);
        EXPECT_EQ(slider->value(), value + by);
        EXPECT_TRUE(WaitUntil([&] { return std::abs(Seconds(edit) - (at + by)) <= 0.5; }, 3000))
            << at << " -> " << edit->text().toStdString();
    }

    // The range between the boxes reaches the cut summary.
    Pump(400);
    EXPECT_GT(form.State.CutDuration, 0);
    EXPECT_EQ(OwnPlayers(), 2u);
}

TEST_F(WindowPreview, WmvClipSeeksByPercentAndResetAndCloseEndThePlayers) {
    EXPECT_GE(ClickClip("clip.wmv"), 0);
    EXPECT_EQ(form.StartSlider->maximum(), 99);
    EXPECT_EQ(form.SeekType(), " 1");
    WaitPaused();
    EXPECT_TRUE(ReleaseSliderAt(form.StartSlider, form.EditStartTime, 50, 2.0));
    // A step asks the player where it is: about half-way (the number is a percentage).
    QTest::mouseClick(form.BtnStartFwd, Qt::LeftButton);
    EXPECT_TRUE(WaitUntil([&] { return form.Core.PercentPosition >= 40; }, 3000));
    EXPECT_LE(form.Core.PercentPosition, 80);

    EXPECT_EQ(OwnPlayers(), 2u);
    form.ResetPositions();
    EXPECT_EQ(OwnPlayers(), 0u);
    // Without a selected clip, a release on the end slider seeks nothing and says so.
    form.EndSliderMouseUp(Qt::LeftButton);
    EXPECT_EQ(home.Messages, QStringList{"Please select a file in list to proceed!"});
}

TEST_F(WindowPreview, FrameSavesGiveOneImageEach) {
    EXPECT_GE(ClickClip("clip.avi"), 0);
    WaitPaused();
    EXPECT_TRUE(ReleaseSliderAt(form.StartSlider, form.EditStartTime, 2, 2.0));
    const std::string folder = form.State.SaveImageFolder;
    ASSERT_TRUE(FilesIn(folder).empty());
    auto saved = [&] { return form.lblStatus->text().startsWith("Image saved to: "); };

    // Two quick saves: the second meets the first still running and is dropped.
    form.SaveFrame(false);
    form.SaveFrame(false);
    ASSERT_TRUE(WaitUntil(saved, 10000)) << form.lblStatus->text().toStdString();
    Pump(500);
    std::string t = form.EditStartTime->text().toStdString();
    std::erase(t, ':');
    ASSERT_EQ(FilesIn(folder), std::vector<std::string>{t + ".jpg"}); // named by its time
    const std::string first = folder + t + ".jpg";
    EXPECT_EQ(form.lblStatus->text().toStdString(), SavedFrameMessage(first));
    EXPECT_EQ(ProbeMedia(first).frameSize, "160x120");
    // A later save of the end picture makes a second image; a double click on the status opens it.
    form.SetStatus("Ready");
    form.SaveFrame(true);
    ASSERT_TRUE(WaitUntil(saved, 10000));
    EXPECT_EQ(FilesIn(folder).size(), 2u);
    QTest::mouseDClick(form.lblStatus, Qt::LeftButton);
    EXPECT_EQ(home.Opened, QStringList{QString::fromStdString(form.LastSavedImage)});
    EXPECT_NE(form.LastSavedImage, first);
}
