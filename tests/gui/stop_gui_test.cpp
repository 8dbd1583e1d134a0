// Closing the window while a job runs asks first; the window's Cancel stops only its own job.
#include "gui_support.h"

#include "app/main_form.h"

#include <QComboBox>
#include <QPushButton>
#include <QRadioButton>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/wait.h>

using namespace trimora;
using namespace trimora_test;
namespace fs = std::filesystem;

namespace {

class StopWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        home_.InstallTools();
        save_ = home_.Root() + "saved/";
        fs::create_directories(home_.Root() + "clips/");
        fs::create_directories(save_);
        fs::copy_file(SampleClip("stop-gui-8s.mp4", "-f lavfi -i testsrc=size=320x240:rate=25:"
                                                    "duration=8 -f lavfi -i sine=duration=8 "
                                                    "-c:v libx264 -g 100 -c:a aac -shortest"),
                      home_.Root() + "clips/trip.mp4");
        SetQuestionHandler([this](const QString& text) {
            questions_.push_back(text.toStdString());
            return answer_;
        });
        form_ = std::make_unique<MainForm>();
        form_->StartupDoneTimerTimer();
        form_->State.SaveConvertFolder = save_;
        form_->ComboConvert->setEditText(QString::fromStdString(home_.Root() + "clips/"));
        form_->ComboConvertSelect();
        form_->rdConvert->setChecked(true);
        form_->rdConvertClick();
        form_->cBoxConvertType->setCurrentIndex(form_->cBoxConvertType->findText(".avi"));
        form_->cBoxConvertTypeSelect();
        form_->SelectInputRow(0);
        form_->LoadStartVideoTimer.stop();
        form_->LoadEndVideoTimer.stop();
    }
    bool WaitFor(const std::function<bool()>& done, int ms = 60000) { return WaitUntil(done, ms); }
    std::string Status(int id) {
        const int row = form_->OutputList.FindRowById(id);
        return row < 0 ? "" : form_->OutputList.Row(row).Status;
    }

    GuiHome home_;
    std::unique_ptr<MainForm> form_;
    std::string save_;
    std::vector<std::string> questions_;
    bool answer_ = false;
};

} // namespace

TEST_F(StopWindow, ClosingAsksNoKeepsTheJobYesCancelsIt) {
    form_->btnStartClick();
    const std::string first = form_->State.OutputFile;
    ASSERT_TRUE(WaitFor([&] { return fs::exists(first); }));
    answer_ = false;
    EXPECT_FALSE(form_->close());
    EXPECT_EQ(questions_, std::vector<std::string>{"A job is still running. Stop it and close?"});
    ASSERT_TRUE(WaitFor([&] { return Status(1) == "DONE"; }));
    EXPECT_NEAR(ProbeDuration(first), 8.0, 1.0);

    form_->btnStartClick();
    const std::string second = form_->State.OutputFile;
    ASSERT_NE(second, first);
    ASSERT_TRUE(WaitFor([&] { return fs::exists(second); }));
    answer_ = true;
    EXPECT_TRUE(form_->close());
    // The stopped job's outcome reaches its row through the event queue.
    EXPECT_TRUE(WaitFor([&] { return Status(2) == "FAILED"; }, 5000)) << Status(2);
    EXPECT_FALSE(fs::exists(second));
    EXPECT_TRUE(OwnProcessGroups().empty());
}

TEST_F(StopWindow, CancelLeavesACommandLineConvertAlone) {
    const std::string cliOut = home_.Root() + "cli/";
    fs::create_directories(cliOut);
    const std::string bin = BinDir() + "trimora", src = home_.Root() + "clips/trip.mp4";
    const pid_t cli = ::fork();
    if (cli == 0) {
        ::execl(bin.c_str(), bin.c_str(), "convert", src.c_str(), "--format", ".avi",
                "--save-folder", cliOut.c_str(), nullptr);
        ::_exit(127);
    }
    ASSERT_TRUE(WaitFor([&] { return fs::exists(cliOut + "trip-Convert.avi"); }));
    form_->btnStartClick();
    ASSERT_TRUE(WaitFor([&] { return fs::exists(form_->State.OutputFile); }));
    form_->btnCancel->click();
    EXPECT_TRUE(WaitFor([&] { return Status(1) == "FAILED"; }, 5000));
    int status = -1;
    ::waitpid(cli, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_NEAR(ProbeDuration(cliOut + "trip-Convert.avi"), 8.0, 1.0);
}
