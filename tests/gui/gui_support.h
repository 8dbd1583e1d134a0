#pragma once
// Helpers of the window tests: an isolated home with recorded dialogs, waiting on the event
// loop, and clicking list rows.

#include "app/dialogs.h"
#include "app/main_form.h"
#include "support/test_env.h"

#include <QCoreApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QElapsedTimer>
#include <QStringList>
#include <QTest>
#include <QThread>
#include <QTreeWidget>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <string>

namespace trimora_test {

// Processes events until pred is true or ms have passed.
inline bool WaitUntil(const std::function<bool()>& pred, int ms) {
    QElapsedTimer timer;
    timer.start();
    while (!pred()) {
        if (timer.elapsed() > ms) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}

inline void Pump(int ms) {
    WaitUntil([] { return false; }, ms);
}

// An isolated home whose message boxes, folder choosers and desktop openings are recorded
// instead of shown.
class GuiHome : public IsolatedHome {
  public:
    GuiHome() {
        trimora::SetMessageHandler([this](const QString& text) { Messages << text; });
        trimora::SetQuestionHandler([this](const QString& text) {
            Messages << text;
            return false;
        });
        trimora::SetFolderHandler([this](const QString&, const QString&) { return NextFolder; });
        trimora::SetOpenHandler([this](const QString& path) {
            Opened << path;
            return true;
        });
    }
    ~GuiHome() {
        trimora::SetMessageHandler({});
        trimora::SetQuestionHandler({});
        trimora::SetFolderHandler({});
        trimora::SetOpenHandler({});
    }
    QStringList Messages;
    QStringList Opened;
    QString NextFolder; // what the folder chooser returns (empty: cancelled)
};

// A left click on the row, as the user makes it.
inline void ClickRow(QTreeWidget* list, int row) {
    QTreeWidgetItem* item = list->topLevelItem(row);
    const QRect rect = list->visualItemRect(item);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
}

// A window whose start-up is done, with the front-ends installed, an empty save folder and a
// program folder of its own (an AVI join writes its normalising clip there); messages are
// recorded. For tests that run jobs through the window.
class WindowJobTest : public ::testing::Test {
  protected:
    void SetUp() override {
        home_ = std::make_unique<GuiHome>();
        home_->InstallTools();
        save_ = home_->Root() + "saved/";
        std::filesystem::create_directories(save_);
        const std::string program = home_->Root() + "program/";
        std::filesystem::create_directories(program + "help");
        std::filesystem::copy_file(BinDir() + "help/sample.avi", program + "help/sample.avi");
        form_ = std::make_unique<trimora::MainForm>();
        form_->StartupDoneTimerTimer();
        form_->State.ProgramFolder = program;
        form_->State.SaveConvertFolder = form_->State.SaveJoinFolder = save_;
    }
    void TearDown() override {
        form_.reset();
        home_.reset();
    }
    // The status of the job row once its run has ended and Start is back; events run meanwhile.
    std::string WaitForJobRow(int id) {
        std::string status = "timeout";
        WaitUntil(
            [&] {
                const int row = form_->OutputList.FindRowById(id);
                if (row < 0) return false;
                const std::string s = form_->OutputList.Row(row).Status;
                if (s != "DONE" && s != "FAILED") return false;
                status = s;
                return form_->btnStart->isEnabled();
            },
            60000);
        return status;
    }
    const trimora::TOutputRow& JobRow(int id) {
        return form_->OutputList.Row(form_->OutputList.FindRowById(id));
    }
    std::string Memo() const { return form_->MemoCode->toPlainText().toStdString(); }

    std::unique_ptr<GuiHome> home_;
    std::unique_ptr<trimora::MainForm> form_;
    std::string save_;
};

} // namespace trimora_test
