// Through the window: JOIN mode with "Check ALL", Start, and the result in the output list;
// and the refusal when fewer than two rows are ticked.
#include "gui_support.h"

#include "app/dialogs.h"
#include "app/main_form.h"
#include "common/helpers.h"
#include "ui/radio_group.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
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

class JoinWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        home_ = std::make_unique<IsolatedHome>();
        home_->InstallTools();
        folder_ = home_->Root() + "Trip/";
        save_ = home_->Root() + "saved/";
        fs::create_directories(folder_);
        fs::create_directories(save_);
        SetMessageHandler([this](const QString& text) { messages_.push_back(text.toStdString()); });
        form_ = std::make_unique<MainForm>();
        form_->StartupDoneTimerTimer();
        form_->State.SaveJoinFolder = save_;
        // the AVI join writes its normalising clip beside the program: use a folder of our own
        const std::string program = home_->Root() + "program/";
        fs::create_directories(program + "help");
        fs::copy_file(BinDir() + "help/sample.avi", program + "help/sample.avi");
        form_->State.ProgramFolder = program;
    }
    void TearDown() override {
        form_.reset();
        SetMessageHandler({});
        home_.reset();
    }

    // Three clips of 2 s in the join folder, listed with the format group's item.
    void MakeClips(const std::string& ext, const std::string& codecs, int item) {
        const std::string clip =
            SampleClip("gui_join" + ext, "-f lavfi -i testsrc=size=160x120:rate=25:duration=2 "
                                         "-f lavfi -i sine=sample_rate=44100:duration=2 " +
                                             codecs);
        for (const char* name : {"one", "two", "three"})
            fs::copy_file(clip, folder_ + name + ext);
        form_->rdJoin->setChecked(true);
        form_->rdJoinClick();
        form_->rgJoinSelection->SetItemIndex(item);
        form_->ComboJoin->setEditText(QString::fromStdString(folder_));
        form_->ComboJoinSelect();
        ASSERT_EQ(form_->LvInputJoin->topLevelItemCount(), 3);
    }

    void CheckAll() {
        form_->chkboxJoinAllCheck->setChecked(true);
        form_->chkboxJoinAllCheckClick();
    }

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

    std::unique_ptr<IsolatedHome> home_;
    std::unique_ptr<MainForm> form_;
    std::string folder_, save_;
    std::vector<std::string> messages_;
};

TEST_F(JoinWindow, CheckAllThenStartJoinsIntoTheSaveFolder) {
    MakeClips(".mkv", "-c:v libx264 -preset ultrafast -pix_fmt yuv420p -c:a aac -f matroska", 2);
    CheckAll();
    const std::string out = save_ + "Trip-Joined.mkv";
    // the pending row shows the output and the number of files before anything runs
    const int pending = form_->OutputList.FindRowById(form_->State.JobCounter + 1);
    ASSERT_GE(pending, 0);
    EXPECT_EQ(form_->OutputList.Row(pending).Status, "Total =3");
    EXPECT_EQ(form_->OutputList.Row(pending).FullPath, out);
    EXPECT_EQ(form_->OutputList.Row(form_->OutputList.FindRowById(MessageRowId)).Caption, "Idle");

    form_->btnStart->click();
    EXPECT_FALSE(form_->btnStart->isEnabled());
    EXPECT_EQ(form_->lblStatus->text().toStdString(), "Processing file #1 of 3");
    const int id = form_->State.JobCounter;
    EXPECT_EQ(WaitForJobRow(id), "DONE");
    const TOutputRow& row = form_->OutputList.Row(form_->OutputList.FindRowById(id));
    EXPECT_EQ(row.FullPath, out);
    EXPECT_EQ(row.SizeText, FormatFileSize(GetFileSize64(out)));
    EXPECT_NEAR(ProbeDuration(out), 6.0, 3.0);
    EXPECT_EQ(form_->lblStatus->text().toStdString(), "Status");
    EXPECT_TRUE(messages_.empty());
    // the window's rows follow the model
    EXPECT_EQ(form_->lvProgress->topLevelItem(form_->OutputList.FindRowById(id))
                  ->text(col::OutStatus)
                  .toStdString(),
              "DONE");
    // the monitor ends with the run
    EXPECT_TRUE(WaitUntil([&] { return !form_->ThreadJoinListFileMon.IsWorkerRunning(); }, 500));
}

TEST_F(JoinWindow, AviJoinOfUnprobedRowsGetsTheNormalisingClipAtTheirSize) {
    MakeClips(".avi", "-c:v mpeg4 -q:v 5 -c:a libmp3lame -ac 2 -f avi", 0);
    CheckAll();
    form_->btnStart->click();
    const int id = form_->State.JobCounter;
    EXPECT_EQ(WaitForJobRow(id), "DONE");
    const std::string out = save_ + "Trip-Joined.avi";
    EXPECT_EQ(ProbeFrameSize(out), "160x120");
    EXPECT_NEAR(ProbeDuration(out), 6.04, 3.0);
    const std::string memo = form_->MemoCode->toPlainText().toStdString();
    EXPECT_NE(memo.find("NormSize = -vf scale=160:120"), std::string::npos) << memo;
    EXPECT_NE(memo.find("DosNormalizedFrame done."), std::string::npos) << memo;
}

TEST_F(JoinWindow, FewerThanTwoTickedRowsAreRefused) {
    MakeClips(".mkv", "-c:v libx264 -preset ultrafast -pix_fmt yuv420p -c:a aac -f matroska", 2);
    form_->LvInputJoin->topLevelItem(0)->setCheckState(0, Qt::Checked);
    const int before = form_->State.JobCounter;
    form_->btnStart->click();
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0], "Please select atleast 2 files in list to join !");
    EXPECT_EQ(form_->State.JobCounter, before);
    EXPECT_TRUE(form_->btnStart->isEnabled());
    EXPECT_EQ(form_->lblStatus->text().toStdString(), "Ready");
    EXPECT_TRUE(fs::is_empty(save_));
}

} // namespace
