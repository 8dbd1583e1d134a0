// Through the window: CONVERT of a clicked clip, and sound-only in CUT mode, with the real
// front-ends; each ends "DONE" in the output list with its file on the disk.
#include "gui_support.h"

#include "common/helpers.h"

#include <QCheckBox>
#include <QComboBox>
#include <QRadioButton>
#include <QTreeWidget>

using namespace trimora;
using namespace trimora_test;
namespace fs = std::filesystem;

namespace {

class ConvertWindow : public WindowJobTest {
  protected:
    void SetUp() override {
        WindowJobTest::SetUp();
        const std::string source = home_->Root() + "clips/";
        fs::create_directories(source);
        fs::copy_file(SampleClip("gui_conv_yuv.mp4",
                                 "-f lavfi -i testsrc=size=160x120:rate=25:duration=2 -f lavfi "
                                 "-i sine=duration=2 -c:v libx264 -preset ultrafast -pix_fmt "
                                 "yuv420p -c:a aac -shortest"),
                      source + "trip.mp4");
        form_->ComboConvert->setEditText(QString::fromStdString(source));
        form_->ComboConvertSelect();
    }
    // Clicks the clip's row; the previews are not part of these tests.
    void SelectClip() {
        ASSERT_EQ(form_->LvInput->topLevelItemCount(), 1);
        form_->SelectInputRow(0);
        form_->LoadStartVideoTimer.stop();
        form_->LoadEndVideoTimer.stop();
    }
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
    EXPECT_EQ(JobRow(form_->State.JobCounter + 1).Status, "PENDING");
    EXPECT_EQ(JobRow(form_->State.JobCounter + 1).FullPath, output);
    EXPECT_NE(Memo().find(" -an "), std::string::npos) << Memo();

    form_->btnStartClick();
    EXPECT_EQ(WaitForJobRow(1), "DONE") << Memo();
    EXPECT_EQ(JobRow(1).FullPath, output);
    EXPECT_FALSE(JobRow(1).SizeText.empty());
    const MediaFacts f = ProbeMedia(output);
    EXPECT_EQ(f.format, "matroska,webm");
    EXPECT_TRUE(f.acodec.empty());
    EXPECT_NE(Memo().find("DosConvertClip Finished in: "), std::string::npos) << Memo();
    EXPECT_TRUE(home_->Messages.isEmpty());

    // Start again without touching anything: the first result stays, a new name is taken.
    form_->btnStartClick();
    EXPECT_EQ(WaitForJobRow(2), "DONE") << Memo();
    EXPECT_EQ(JobRow(2).FullPath, save_ + "trip-Convert01.mkv");
    EXPECT_TRUE(fs::exists(output));
}

TEST_F(ConvertWindow, SoundOnlyInCutModeWritesTheAudioFile) {
    form_->chkboxSoundOnly->setChecked(true);
    form_->chkboxSoundOnlyMouseUp();
    form_->ComboAudio->setCurrentIndex(form_->ComboAudio->findText(".wav"));
    form_->ComboAudioSelect();
    SelectClip();

    EXPECT_NE(Memo().find(" -vn -sn  -acodec pcm_s16le"), std::string::npos) << Memo();
    form_->btnStartClick();
    const int id = form_->State.JobCounter;
    EXPECT_EQ(WaitForJobRow(id), "DONE") << Memo();
    EXPECT_EQ(JobRow(id).FullPath, save_ + "trip.wav");
    const MediaFacts f = ProbeMedia(save_ + "trip.wav");
    EXPECT_EQ(f.acodec, "pcm_s16le");
    EXPECT_TRUE(f.vcodec.empty());
    EXPECT_NEAR(f.duration, 2.0, 0.3);
}
