// Through the window: CONVERT of a clicked clip, and sound-only in CUT mode, with the real
// front-ends; each ends "DONE" in the output list with its file on the disk.
#include "support/test_env.h"

#include "app/dialogs.h"
#include "app/main_form.h"
#include "common/helpers.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>
#include <filesystem>
#include <gtest/gtest.h>

using namespace trimora;
using namespace trimora_test;
namespace fs = std::filesystem;

namespace {

class ConvertWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        home_ = std::make_unique<IsolatedHome>();
        home_->InstallTools();
        source_ = home_->Root() + "clips/";
        save_ = home_->Root() + "saved/";
        fs::create_directories(source_);
        fs::create_directories(save_);
        fs::copy_file(SampleClip("gui_conv_yuv.mp4",
                                 "-f lavfi -i testsrc=size=160x120:rate=25:duration=2 -f lavfi "
                                 "-i sine=duration=2 -c:v libx264 -preset ultrafast -pix_fmt "
                                 "yuv420p -c:a aac -shortest"),
                      source_ + "trip.mp4");
        SetMessageHandler([this](const QString& text) { messages_.push_back(text.toStdString()); });
        form_ = std::make_unique<MainForm>();
        form_->StartupDoneTimerTimer();
        form_->State.SaveConvertFolder = save_;
        form_->ComboConvert->setEditText(QString::fromStdString(source_));
        form_->ComboConvertSelect();
    }
    void TearDown() override {
        form_.reset();
        SetMessageHandler({});
        home_.reset();
    }

    // Clicks the clip's row; the previews are not part of these tests.
    void SelectClip() {
        ASSERT_EQ(form_->LvInput->topLevelItemCount(), 1);
        form_->SelectInputRow(0);
        form_->LoadStartVideoTimer.stop();
        form_->LoadEndVideoTimer.stop();
    }

    // The status of the job row (ID 1), once the run has ended; events run meanwhile.
    std::string WaitForJobRow(int id) {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 60000) {
            QApplication::processEvents(QEventLoop::AllEvents, 50);
            const int row = form_->OutputList.FindRowById(id);
            if (row < 0) continue;
            const std::string status = form_->OutputList.Row(row).Status;
            if ((status == "DONE" || status == "FAILED") && form_->btnStart->isEnabled())
                return status;
        }
        return "timeout";
    }

    std::string Memo() const { return form_->MemoCode->toPlainText().toStdString(); }

    std::unique_ptr<IsolatedHome> home_;
    std::unique_ptr<MainForm> form_;
    std::string source_, save_;
    std::vector<std::string> messages_;
};

} // namespace

TEST_F(ConvertWindow, ConvertOfAClickedClipEndsDoneWithTheFile) {
    form_->rdConvert->setChecked(true);
    form_->rdConvertClick();
    form_->cBoxConvertType->setCurrentIndex(form_->cBoxConvertType->findText(".mkv"));
    form_->cboxIncludeSound->setCurrentIndex(1); // "No Sound"
    form_->cBoxConvertTypeSelect();
    SelectClip();

    // The pending row names the output and the memo holds the command Start would run.
    const std::string output = save_ + "trip-Convert.mkv";
    int row = form_->OutputList.FindRowById(form_->State.JobCounter + 1);
    ASSERT_GE(row, 0);
    EXPECT_EQ(form_->OutputList.Row(row).Status, "PENDING");
    EXPECT_EQ(form_->OutputList.Row(row).FullPath, output);
    EXPECT_NE(Memo().find(" -an "), std::string::npos) << Memo();

    form_->btnStartClick();
    EXPECT_EQ(WaitForJobRow(1), "DONE") << Memo();
    row = form_->OutputList.FindRowById(1);
    EXPECT_EQ(form_->OutputList.Row(row).FullPath, output);
    EXPECT_FALSE(form_->OutputList.Row(row).SizeText.empty());
    EXPECT_EQ(ProbeFormatName(output), "matroska,webm");
    EXPECT_TRUE(ProbeAudioCodec(output).empty());
    EXPECT_NE(Memo().find("DosConvertClip Finished in: "), std::string::npos) << Memo();
    EXPECT_TRUE(messages_.empty());

    // Start again without touching anything: the first result stays, a new name is taken.
    form_->btnStartClick();
    EXPECT_EQ(WaitForJobRow(2), "DONE") << Memo();
    EXPECT_EQ(form_->OutputList.Row(form_->OutputList.FindRowById(2)).FullPath,
              save_ + "trip-Convert01.mkv");
    EXPECT_TRUE(fs::exists(output));
}

TEST_F(ConvertWindow, SoundOnlyInCutModeWritesTheAudioFile) {
    form_->chkboxSoundOnly->setChecked(true);
    form_->chkboxSoundOnlyMouseUp();
    form_->ComboAudio->setCurrentIndex(form_->ComboAudio->findText(".wav"));
    form_->ComboAudioSelect();
    SelectClip();

    const std::string output = save_ + "trip.wav";
    EXPECT_NE(Memo().find(" -vn -sn  -acodec pcm_s16le"), std::string::npos) << Memo();
    form_->btnStartClick();
    const int id = form_->State.JobCounter;
    EXPECT_EQ(WaitForJobRow(id), "DONE") << Memo();
    EXPECT_EQ(form_->OutputList.Row(form_->OutputList.FindRowById(id)).FullPath, output);
    EXPECT_EQ(ProbeAudioCodec(output), "pcm_s16le");
    EXPECT_TRUE(ProbeVideoCodec(output).empty());
    EXPECT_NEAR(ProbeDuration(output), 2.0, 0.3);
}
