// Through the window: JOIN mode with "Check ALL", Start, and the result in the output list;
// and the refusal when fewer than two rows are ticked.
#include "gui_support.h"

#include "common/helpers.h"
#include "ui/radio_group.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QRadioButton>
#include <QTreeWidget>

using namespace trimora;
using namespace trimora_test;
namespace fs = std::filesystem;

namespace {

const char* kMkv = "-c:v libx264 -preset ultrafast -pix_fmt yuv420p -c:a aac -f matroska";

class JoinWindow : public WindowJobTest {
  protected:
    // Three clips of 2 s in the join folder "Trip", listed with the format group's item.
    void MakeClips(const std::string& ext, const std::string& codecs, int item, bool checkAll) {
        const std::string folder = home_->Root() + "Trip/";
        fs::create_directories(folder);
        const std::string clip =
            SampleClip("gui_join" + ext, "-f lavfi -i testsrc=size=160x120:rate=25:duration=2 "
                                         "-f lavfi -i sine=sample_rate=44100:duration=2 " +
                                             codecs);
        for (const char* name : {"one", "two", "three"})
            fs::copy_file(clip, folder + name + ext);
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

TEST_F(JoinWindow, CheckAllThenStartJoinsIntoTheSaveFolder) {
    MakeClips(".mkv", kMkv, 2, true);
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
    // the window's rows follow the model
    EXPECT_EQ(form_->lvProgress->topLevelItem(form_->OutputList.FindRowById(id))
                  ->text(col::OutStatus)
                  .toStdString(),
              "DONE");
    // the monitor ends with the run
    EXPECT_TRUE(WaitUntil([&] { return !form_->ThreadJoinListFileMon.IsWorkerRunning(); }, 500));
}

TEST_F(JoinWindow, AviJoinOfUnprobedRowsGetsTheNormalisingClipAtTheirSize) {
    MakeClips(".avi", "-c:v mpeg4 -q:v 5 -c:a libmp3lame -ac 2 -f avi", 0, true);
    form_->btnStart->click();
    EXPECT_EQ(WaitForJobRow(form_->State.JobCounter), "DONE");
    const MediaFacts f = ProbeMedia(save_ + "Trip-Joined.avi");
    EXPECT_EQ(f.frameSize, "160x120");
    EXPECT_NEAR(f.duration, 6.04, 3.0);
    EXPECT_NE(Memo().find("NormSize = -vf scale=160:120"), std::string::npos) << Memo();
    EXPECT_NE(Memo().find("DosNormalizedFrame done."), std::string::npos) << Memo();
}

TEST_F(JoinWindow, FewerThanTwoTickedRowsAreRefused) {
    MakeClips(".mkv", kMkv, 2, false);
    form_->LvInputJoin->topLevelItem(0)->setCheckState(0, Qt::Checked);
    const int before = form_->State.JobCounter;
    form_->btnStart->click();
    ASSERT_EQ(home_->Messages.size(), 1);
    EXPECT_EQ(home_->Messages[0].toStdString(), "Please select atleast 2 files in list to join !");
    EXPECT_EQ(form_->State.JobCounter, before);
    EXPECT_TRUE(form_->btnStart->isEnabled());
    EXPECT_EQ(form_->lblStatus->text().toStdString(), "Ready");
    EXPECT_TRUE(fs::is_empty(save_));
}
