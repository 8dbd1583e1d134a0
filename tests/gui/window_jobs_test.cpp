// Jobs through the window with the real front-ends: CONVERT of a clicked clip, sound-only in CUT
// mode, and JOIN with "Check ALL"; each ends "DONE" in the output list with its file on the disk.
#include "gui_support.h"

#include "common/helpers.h"
#include "ui/radio_group.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QProgressBar>
#include <QRadioButton>

using namespace trimora;
using namespace trimora_test;
namespace fs = std::filesystem;

namespace {

// The window with an empty save folder and a program folder of its own (an AVI join writes its
// normalising clip there).
class WindowJobs : public WindowTest {
  protected:
    void SetUp() override {
        fs::create_directories(save_);
        const std::string program = home.Root() + "program/";
        fs::create_directories(program + "help");
        fs::copy_file(BinDir() + "help/sample.avi", program + "help/sample.avi");
        form.State.ProgramFolder = program;
        form.State.SaveConvertFolder = form.State.SaveJoinFolder = save_;
    }
    // The 4-s clip "trip.mp4" listed and clicked; the previews are not part of these tests.
    void ClickClip() {
        ChooseSourceWithClip("trip.mp4");
        form.SelectInputRow(0);
        form.LoadStartVideoTimer.stop();
        form.LoadEndVideoTimer.stop();
    }
    std::string save_ = home.Root() + "saved/";
};

} // namespace

TEST_F(WindowJobs, ConvertOfAClickedClipEndsDoneWithTheFile) {
    form.rdConvert->setChecked(true);
    form.rdConvertClick();
    form.cBoxConvertType->setCurrentIndex(form.cBoxConvertType->findText(".mkv"));
    form.cboxIncludeSound->setCurrentIndex(1); // "No Sound"
    form.cBoxConvertTypeSelect();
    ClickClip();
    const std::string output = save_ + "trip-Convert.mkv";
    form.btnStartClick();
    EXPECT_EQ(WaitForJobRow(1), "DONE") << Memo();
    const MediaFacts f = ProbeMedia(output);
    EXPECT_EQ(f.format, "matroska,webm");
    EXPECT_TRUE(f.acodec.empty());
    EXPECT_NE(memoLog.find("DosConvertClip Finished in: "), std::string::npos) << memoLog;
    EXPECT_TRUE(home.Messages.isEmpty());
    EXPECT_FALSE(form.GaugeMain->isVisible());
    // A double click on the row opens the file with the desktop's player.
    form.lvProgress->setCurrentItem(form.lvProgress->topLevelItem(form.OutputList.FindRowById(1)));
    form.lvProgressDblClick();
    EXPECT_EQ(home.Opened, QStringList{QString::fromStdString(output)});
}

TEST_F(WindowJobs, SoundOnlyInCutModeWritesTheAudioFile) {
    form.chkboxSoundOnly->setChecked(true);
    form.chkboxSoundOnlyMouseUp();
    form.ComboAudio->setCurrentIndex(form.ComboAudio->findText(".wav"));
    form.ComboAudioSelect();
    ClickClip();
    EXPECT_NE(Memo().find(" -vn -sn  -acodec pcm_s16le"), std::string::npos) << Memo();
    form.btnStartClick();
    const int id = form.State.JobCounter;
    EXPECT_EQ(WaitForJobRow(id), "DONE") << Memo();
    EXPECT_EQ(JobRow(id).FullPath, save_ + "trip.wav");
    const MediaFacts f = ProbeMedia(save_ + "trip.wav");
    EXPECT_EQ(f.acodec, "pcm_s16le");
    EXPECT_TRUE(f.vcodec.empty());
    EXPECT_NEAR(f.duration, 4.0, 0.3);
}

// One ticked row is refused; then all are ticked. Rows never probed: the join's normalising clip
// takes the size the join reads from them.
TEST_F(WindowJobs, CheckAllThenStartJoinsIntoTheSaveFolder) {
    // Three AVI clips of 2 s in the join folder "Trip", listed with the format group's first item.
    const std::string folder = home.Root() + "Trip/";
    fs::create_directories(folder);
    const std::string clip = MediaClip(".avi", 2);
    for (const char* name : {"one", "two", "three"}) fs::copy_file(clip, folder + name + ".avi");
    form.rdJoin->setChecked(true);
    form.rdJoinClick();
    form.rgJoinSelection->SetItemIndex(0);
    form.ComboJoin->setEditText(QString::fromStdString(folder));
    form.ComboJoinSelect();
    ASSERT_EQ(form.LvInputJoin->topLevelItemCount(), 3);
    form.LvInputJoin->topLevelItem(0)->setCheckState(0, Qt::Checked);
    form.btnStart->click();
    EXPECT_EQ(home.Messages, QStringList{"Please select atleast 2 files in list to join !"});
    EXPECT_EQ(form.lblStatus->text().toStdString(), "Ready");
    EXPECT_TRUE(fs::is_empty(save_));
    form.chkboxJoinAllCheck->click();
    const std::string out = save_ + "Trip-Joined.avi";
    // the pending row shows the output and the number of files before anything runs
    EXPECT_EQ(JobRow(form.State.JobCounter + 1).Status, "Total =3");
    EXPECT_EQ(JobRow(form.State.JobCounter + 1).FullPath, out);

    form.btnStart->click();
    EXPECT_FALSE(form.btnStart->isEnabled());
    EXPECT_EQ(form.lblStatus->text().toStdString(), "Processing file #1 of 3");
    const int id = form.State.JobCounter;
    EXPECT_EQ(WaitForJobRow(id), "DONE") << Memo();
    EXPECT_EQ(JobRow(id).FullPath, out);
    const MediaFacts f = ProbeMedia(out);
    EXPECT_EQ(f.frameSize, "160x120");
    EXPECT_NEAR(f.duration, 6.04, 3.0);
    EXPECT_NE(Memo().find("NormSize = -vf scale=160:120"), std::string::npos) << Memo();
    EXPECT_EQ(form.lblStatus->text().toStdString(), "Status");
    EXPECT_EQ(home.Messages.size(), 1);
    // the window's rows follow the model, and the monitor ends with the run
    EXPECT_EQ(form.lvProgress->topLevelItem(form.OutputList.FindRowById(id))->text(col::OutStatus), "DONE");
    EXPECT_TRUE(WaitUntil([&] { return !form.ThreadJoinListFileMon.IsWorkerRunning(); }, 500));
}
