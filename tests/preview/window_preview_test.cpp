// The two previews in the real window: a click on a clip loads both players into their panels,
// sliders and step buttons seek them and the time boxes follow, frames are saved as images,
// and no player outlives a mode change or the window.
#include "preview_support.h"

#include "app/dialogs.h"
#include "app/main_form.h"
#include "common/helpers.h"
#include "support/test_env.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include <dirent.h>
#include <filesystem>
#include <thread>

using namespace trimora;
using namespace preview_test;

namespace {

// A time bound, stretched when the machine runs more work than it has processors (the shared
// build machine), so a busy machine does not fail a test that measures responsiveness.
qint64 LoadScaled(qint64 ms) {
    double load = 0;
    if (FILE* f = std::fopen("/proc/loadavg", "r")) {
        if (std::fscanf(f, "%lf", &load) != 1) load = 0;
        std::fclose(f);
    }
    const double factor = std::max(1.0, load / std::max(1u, std::thread::hardware_concurrency()));
    std::printf("[ timing ] load %.1f: bound %lld ms stretched by %.1f\n", load, static_cast<long long>(ms), factor);
    return static_cast<qint64>(ms * factor);
}

std::vector<std::string> Images(const std::string& folder) {
    std::vector<std::string> found;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(folder, ec))
        if (e.path().extension() == ".jpg") found.push_back(e.path().string());
    return found;
}

class WindowPreview : public ::testing::Test {
  protected:
    void SetUp() override {
        home_.InstallTools();
        clips_ = home_.Root() + "clips/";
        std::filesystem::create_directories(clips_);
        for (const char* ext : {".avi", ".wmv"})
            std::filesystem::copy_file(Clip(ext), clips_ + "clip" + ext);
        SetMessageHandler([this](const QString& text) { messages_.push_back(text.toStdString()); });
        SetOpenHandler([this](const QString& path) {
            opened_.push_back(path.toStdString());
            return true;
        });
        form_ = std::make_unique<MainForm>();
        form_->resize(1000, 700);
        form_->show();
        ASSERT_GE(WaitUntil([&] { return form_->State.StartupDone; }, 3000), 0);
        form_->ComboConvert->setEditText(QString::fromStdString(clips_));
        form_->ComboConvertSelect();
        ASSERT_EQ(form_->LvInput->topLevelItemCount(), 2);
    }
    void TearDown() override {
        form_.reset();
        SetMessageHandler({});
        SetOpenHandler({});
        EXPECT_TRUE(OwnPlayerPids().empty());
    }

    // Clicks the clip's row as the user does; returns the milliseconds until both panels show
    // a picture, or -1.
    qint64 ClickClip(const std::string& name) {
        QTreeWidget* list = form_->LvInput;
        const auto items = list->findItems(QString::fromStdString(name), Qt::MatchExactly);
        EXPECT_EQ(items.size(), 1);
        if (items.isEmpty()) return -1;
        const QRect rect = list->visualItemRect(items.first());
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
        return WaitUntil(
            [&] {
                return ShowsPicture(GrabPanel(form_->VidStartPanel)) &&
                       ShowsPicture(GrabPanel(form_->VidEndPanel));
            },
            5000);
    }

    // Both players were told to hold their pictures (the status may still say Playing when
    // the player opened its video output after the pause).
    void WaitPaused() {
        EXPECT_GE(
            WaitUntil([&] { return !form_->Core.PollingActive && !form_->CoreEnd.PollingActive; },
                      3000),
            0);
        Spin(400);
    }

    static double Seconds(QLineEdit* edit) {
        return ParseTimeSecondsFrac(edit->text().trimmed().toStdString());
    }

    // Releases the slider at value; returns the milliseconds until the box shows a new text
    // that reads about expected (within 1 s), or -1.
    qint64 ReleaseSliderAt(QSlider* slider, QLineEdit* edit, int value, double expected) {
        const QString before = edit->text();
        slider->setValue(value);
        QTest::mouseRelease(slider, Qt::LeftButton, {}, QPoint(5, slider->height() / 2));
        return WaitUntil(
            [&] { return edit->text() != before && std::abs(Seconds(edit) - expected) <= 1.0; },
            3000);
    }

    trimora_test::IsolatedHome home_;
    std::string clips_;
    std::unique_ptr<MainForm> form_;
    std::vector<std::string> messages_, opened_;
};

} // namespace

TEST_F(WindowPreview, ClickShowsBothPicturesAndSlidersAndStepsSeek) {
    EXPECT_FALSE(ShowsPicture(GrabPanel(form_->VidStartPanel)));
    EXPECT_FALSE(ShowsPicture(GrabPanel(form_->VidEndPanel)));
    const qint64 shown = ClickClip("clip.avi");
    std::printf("[ timing ] click on a clip to both pictures: %lld ms\n",
                static_cast<long long>(shown));
    EXPECT_GE(shown, 0);
    EXPECT_LE(shown, LoadScaled(2000));
    EXPECT_EQ(form_->StartSlider->maximum(), 4);
    WaitPaused();

    // The start slider released at second 2: the box follows and the picture changes.
    QImage before = GrabPanel(form_->VidStartPanel);
    const qint64 startText = ReleaseSliderAt(form_->StartSlider, form_->EditStartTime, 2, 2.0);
    EXPECT_GE(startText, 0) << form_->EditStartTime->text().toStdString();
    Spin(300);
    EXPECT_GT(Difference(before, GrabPanel(form_->VidStartPanel)), 0.005);

    // The end box shows the end preview's time plus its 0.6 s margin.
    before = GrabPanel(form_->VidEndPanel);
    const qint64 endText = ReleaseSliderAt(form_->EndSlider, form_->EditEndTime, 3, 3.6);
    EXPECT_GE(endText, 0) << form_->EditEndTime->text().toStdString();
    Spin(300);
    EXPECT_GT(Difference(before, GrabPanel(form_->VidEndPanel)), 0.005);

    // Step buttons move one second.
    auto step = [&](QToolButton* button, QSlider* slider, QLineEdit* edit, int by) {
        const double at = Seconds(edit);
        const int value = slider->value();
        QTest::mouseClick(button, Qt::LeftButton);
        EXPECT_EQ(slider->value(), value + by);
        EXPECT_GE(WaitUntil([&] { return std::abs(Seconds(edit) - (at + by)) <= 0.5; }, 3000), 0)
            << at << " -> " << edit->text().toStdString();
    };
    step(form_->BtnStartFwd, form_->StartSlider, form_->EditStartTime, 1);
    step(form_->btnStartRewind, form_->StartSlider, form_->EditStartTime, -1);
    step(form_->btnStartRewind, form_->StartSlider, form_->EditStartTime, -1);
    step(form_->btnEndRewind, form_->EndSlider, form_->EditEndTime, -1);

    // The range between the boxes reaches the cut summary.
    Spin(400);
    EXPECT_GT(form_->State.CutDuration, 0);
    EXPECT_EQ(OwnPlayerPids().size(), 2u);
}

TEST_F(WindowPreview, WmvClipSeeksByPercent) {
    EXPECT_GE(ClickClip("clip.wmv"), 0);
    EXPECT_EQ(form_->StartSlider->maximum(), 99);
    EXPECT_EQ(form_->SeekType(), " 1");
    WaitPaused();
    const QImage before = GrabPanel(form_->VidStartPanel);
    const std::string textBefore = form_->EditStartTime->text().toStdString();
    form_->StartSlider->setValue(50);
    QTest::mouseRelease(form_->StartSlider, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_GE(
        WaitUntil([&] { return form_->EditStartTime->text().toStdString() != textBefore; }, 3000),
        0);
    Spin(300);
    EXPECT_GT(Difference(before, GrabPanel(form_->VidStartPanel)), 0.005);
    // A step asks the player where it is: about half-way (the number is a percentage).
    QTest::mouseClick(form_->BtnStartFwd, Qt::LeftButton);
    EXPECT_GE(WaitUntil([&] { return form_->Core.PercentPosition >= 40; }, 3000), 0);
    EXPECT_LE(form_->Core.PercentPosition, 80);
}

TEST_F(WindowPreview, ResetAndCloseLeaveNoPlayerRunning) {
    EXPECT_GE(ClickClip("clip.avi"), 0);
    EXPECT_EQ(OwnPlayerPids().size(), 2u);
    form_->StartSlider->setValue(2);
    form_->ResetPositions();
    EXPECT_TRUE(OwnPlayerPids().empty());
    EXPECT_EQ(form_->StartSlider->value(), 0);
    EXPECT_EQ(form_->EditStartTime->text(), "0:00:00.000");
    EXPECT_EQ(form_->EditEndTime->text(), "0:00:00.000");
    EXPECT_TRUE(form_->LvInput->selectedItems().isEmpty());

    // Without a selected clip, a release on the end slider seeks nothing and says so.
    form_->EndSliderMouseUp(Qt::LeftButton);
    EXPECT_EQ(messages_, std::vector<std::string>{"Please select a file in list to proceed!"});

    // The panels still hold the old pictures: wait for the players themselves.
    ClickClip("clip.avi");
    EXPECT_GE(WaitUntil([] { return OwnPlayerPids().size() == 2; }, 5000), 0);
    form_->close();
    EXPECT_TRUE(OwnPlayerPids().empty());
}

TEST_F(WindowPreview, FrameSavesGiveOneImageEach) {
    EXPECT_GE(ClickClip("clip.avi"), 0);
    WaitPaused();
    EXPECT_GE(ReleaseSliderAt(form_->StartSlider, form_->EditStartTime, 2, 2.0), 0);
    const std::string folder = form_->State.SaveImageFolder;
    ASSERT_TRUE(Images(folder).empty());

    // Two quick saves: the second meets the first still running and is dropped.
    form_->SaveFrame(false);
    form_->SaveFrame(false);
    ASSERT_GE(
        WaitUntil([&] { return form_->lblStatus->text().startsWith("Image saved to: "); }, 10000),
        0)
        << form_->lblStatus->text().toStdString();
    Spin(500);
    auto images = Images(folder);
    ASSERT_EQ(images.size(), 1u);
    const std::string first = images[0];
    EXPECT_EQ(form_->lblStatus->text().toStdString(), SavedFrameMessage(first));
    EXPECT_EQ(FileNameOf(first), [&] {
        std::string t = form_->EditStartTime->text().toStdString();
        std::erase(t, ':');
        return t + ".jpg";
    }());

    // A later save of the end picture makes a second image.
    form_->SetStatus("Ready");
    form_->SaveFrame(true);
    ASSERT_GE(
        WaitUntil([&] { return form_->lblStatus->text().startsWith("Image saved to: "); }, 10000),
        0);
    images = Images(folder);
    ASSERT_EQ(images.size(), 2u);
    for (const auto& image : images) {
        const std::string bytes = trimora_test::ReadFileBytes(image);
        ASSERT_GE(bytes.size(), 4u);
        EXPECT_EQ(bytes.substr(0, 3), std::string("\xFF\xD8\xFF", 3)) << image;
        EXPECT_EQ(trimora_test::ProbeMedia(image).frameSize, "160x120") << image;
    }
    // A double click on the status opens the image just saved.
    QTest::mouseDClick(form_->lblStatus, Qt::LeftButton);
    ASSERT_FALSE(opened_.empty());
    EXPECT_EQ(opened_.back(), form_->LastSavedImage);
    EXPECT_NE(form_->LastSavedImage, first);
}
