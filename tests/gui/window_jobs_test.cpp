// Jobs through the window with the real front-ends: CONVERT of a clicked clip, sound-only in CUT
// mode, and JOIN with "Check ALL"; each ends "DONE" in the output list with its file on the disk.
#include "gui_support.h"

#include "common/helpers.h"
#include "ui/radio_group.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QRadioButton>

using namespace trimora;
using namespace trimora_test;
namespace fs = std::filesystem;

namespace {

const char* kMkv = "-c:v libx264 -preset ultrafast -pix_fmt yuv420p -c:a aac -f matroska";

class WindowJobs : public WindowJobTest {
  protected:
    // The clip "trip.mp4" listed and clicked; the previews are not part of these tests.
    void ClickClip() {
        const std::string source = home_->Root() + "clips/";
        fs::create_directories(source);
        fs::copy_file(SampleClip("gui_conv_yuv.mp4",
                                 "-f lavfi -i testsrc=size=160x120:rate=25:duration=2 -f lavfi "
                                 "-i sine=duration=2 -c:v libx264 -preset ultrafast -pix_fmt "
                                 "yuv420p -c:a aac -shortest"),
                      source + "trip.mp4");
        form_->ComboConvert->setEditText(QString::fromStdString(source));
        form_->ComboConvertSelect();
        ASSERT_EQ(form_->LvInput->topLevelItemCount(), 1);
        form_->SelectInputRow(0);
        form_->LoadStartVideoTimer.stop();
        form_->LoadEndVideoTimer.stop();
    }
    // Three clips of 2 s in the join folder "Trip", listed with the format group's item.
    void JoinClips(const std::string& ext, const std::string& codecs, int item, bool checkAll) {
        const std::string folder = home_->Root() + "Trip/";
        fs::create_directories(folder);
        const std::string clip =
            SampleClip("gui_join" + ext, "-f lavfi -i testsrc=size=160x120:rate=25:duration=2 "
                                         "-f lavfi -i sine=sample_rate=44100:duration=2 " + codecs);
        for (const char* name : {"one", "two", "three"}) fs::copy_file(clip, folder + name + ext);
        form_->rdJoin->setChecked(true);
        form_->rdJoinClick();
        form_->rgJoinSelection->SetItemIndex(item);
        form_->ComboJoin->setEditText(QString::fromStdString(folder));
        form_->ComboJoinSelect();
        ASSERT_EQ(form_->LvInputJoin->topLevelItemCount(), 3);
        form_->chkboxJoinAllCheck->setChecked(checkAll);
        if (checkAll) form_->chkboxJoinAllCheckClick();
    }
};

} // namespace

TEST_F(WindowJobs, ConvertOfAClickedClipEndsDoneWithTheFile) {
    form_->rdConvert->setChecked(true);
    form_->rdConvertClick();
    form_->cBoxConvertType->setCurrentIndex(form_->cBoxConvertType->findText(".mkv"));
    form_->cboxIncludeSound->setCurrentIndex(1); // "No Sound"
    form_->cBoxConvertTypeSelect();
    ClickClip();
    // The pending row names the output and the memo holds the command Start would run.
    const std::string output = save_ + "trip-Convert.mkv";
    EXPECT_EQ(JobRow(form_->State.JobCounter + 1).Status, "PENDING");
    EXPECT_EQ(JobRow(form_->State.JobCounter + 1).FullPath, output);
    EXPECT_NE(Memo().find(" -an "), std::string::npos) << Memo();

    form_->btnStartClick();
    EXPECT_EQ(WaitForJobRow(1), "DONE") << Memo();
    EXPECT_EQ(JobRow(1).FullPath, output);
    EXPECT_EQ(JobRow(1).SizeText, FormatFileSize(GetFileSize64(output)));
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

TEST_F(WindowJobs, SoundOnlyInCutModeWritesTheAudioFile) {
    form_->chkboxSoundOnly->setChecked(true);
    form_->chkboxSoundOnlyMouseUp();
    form_->ComboAudio->setCurrentIndex(form_->ComboAudio->findText(".wav"));
    form_->ComboAudioSelect();
    ClickClip();
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

TEST_F(WindowJobs, CheckAllThenStartJoinsIntoTheSaveFolder) {
    JoinClips(".mkv", kMkv, 2, true);
    const std::string out = save_ + "Trip-Joined.mkv";
    // the pending row shows the output and the number of files before anything runs
    EXPECT_EQ(JobRow(form_->State.JobCounter + 1).Status, "Total =3");
    EXPECT_EQ(JobRow(form_->State.JobCounter + 1).FullPath, out);
    EXPECT_EQ(JobRow(MessageRowId).Caption, "Idle");

    form_->btnStart->click();
    EXPECT_FALSE(form_->btnStart->isEnabled());
    EXPECT_EQ(form_->lblStatus->text().toStdString(), "Processing file #1 of 3");
    const int id = form_->State.JobCounter;
    EXPECT_EQ(WaitForJobRow(id), "DONE");
    EXPECT_EQ(JobRow(id).FullPath, out);
    EXPECT_EQ(JobRow(id).SizeText, FormatFileSize(GetFileSize64(out)));
    EXPECT_NEAR(ProbeMedia(out).duration, 6.0, 3.0);
    EXPECT_EQ(form_->lblStatus->text().toStdString(), "Status");
    EXPECT_TRUE(home_->Messages.isEmpty());
    // the window's rows follow the model, and the monitor ends with the run
    EXPECT_EQ(form_->lvProgress->topLevelItem(form_->OutputList.FindRowById(id))->text(col::OutStatus), "DONE");
    EXPECT_TRUE(WaitUntil([&] { return !form_->ThreadJoinListFileMon.IsWorkerRunning(); }, 500));
}

TEST_F(WindowJobs, AviJoinOfUnprobedRowsGetsTheNormalisingClipAtTheirSize) {
    JoinClips(".avi", "-c:v mpeg4 -q:v 5 -c:a libmp3lame -ac 2 -f avi", 0, true);
    form_->btnStart->click();
    EXPECT_EQ(WaitForJobRow(form_->State.JobCounter), "DONE");
    const MediaFacts f = ProbeMedia(save_ + "Trip-Joined.avi");
    EXPECT_EQ(f.frameSize, "160x120");
    EXPECT_NEAR(f.duration, 6.04, 3.0);
    EXPECT_NE(Memo().find("NormSize = -vf scale=160:120"), std::string::npos) << Memo();
    EXPECT_NE(Memo().find("DosNormalizedFrame done."), std::string::npos) << Memo();
}

TEST_F(WindowJobs, FewerThanTwoTickedRowsAreRefused) {
    JoinClips(".mkv", kMkv, 2, false);
    form_->LvInputJoin->topLevelItem(0)->setCheckState(0, Qt::Checked);
    const int before = form_->State.JobCounter;
    form_->btnStart->click();
    EXPECT_EQ(home_->Messages, QStringList{"Please select atleast 2 files in list to join !"});
    EXPECT_EQ(form_->State.JobCounter, before);
    EXPECT_TRUE(form_->btnStart->isEnabled());
    EXPECT_EQ(form_->lblStatus->text().toStdString(), "Ready");
    EXPECT_TRUE(fs::is_empty(save_));
}
