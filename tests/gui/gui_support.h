#pragma once
// Helpers of the window tests: an isolated home with recorded dialogs, waiting on the event
// loop, and clicking list rows.

#include "app/dialogs.h"
#include "app/main_form.h"
#include "desktop/desktop_support.h"

#include <QCoreApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStringList>
#include <QTest>
#include <QTreeWidget>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <string>

namespace trimora_test {

inline bool WaitUntil(const std::function<bool()>& pred, int ms) {
    return desktop_test::WaitFor([&] {
        return pred() || (QCoreApplication::processEvents(QEventLoop::AllEvents, 20), false);
    }, ms, 5);
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
            return Answer;
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
    bool Answer = false; // what every question is answered
};

inline void ClickRow(QTreeWidget* list, int row) {
    QTreeWidgetItem* item = list->topLevelItem(row);
    const QRect rect = list->visualItemRect(item);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
}

// A shown window of its own in an isolated home with recorded dialogs, its start-up done.
class WindowTest : public ::testing::Test {
  protected:
    WindowTest() {
        form.show();
        form.StartupDoneTimerTimer();
        // The memo shows the command Start would run next whenever the times are refreshed, which
        // may come right after a job's last line: every text it showed is kept for the checks.
        QObject::connect(form.MemoCode, &QPlainTextEdit::textChanged, form.MemoCode,
                         [this] { memoLog += Memo() + "\n"; });
    }
    // A source folder holding one real 4-s clip as name, listed in the window by the folder
    // button; the folder.
    std::string ChooseSourceWithClip(const std::string& name) {
        const std::string folder = home.Root() + "Videos/";
        std::filesystem::create_directories(folder);
        std::filesystem::copy_file(MediaClip(".mp4", 4, "-g 5"), folder + name);
        home.NextFolder = QString::fromStdString(home.Root() + "Videos");
        form.btnInputFolder->click();
        return folder;
    }
    // The status of the job row once its run has ended and Start is back; events run meanwhile.
    std::string WaitForJobRow(int id) {
        std::string status = "timeout";
        WaitUntil(
            [&] {
                const int row = form.OutputList.FindRowById(id);
                if (row < 0) return false;
                const std::string s = form.OutputList.Row(row).Status;
                if (s != "DONE" && s != "FAILED") return false;
                status = s;
                return form.btnStart->isEnabled();
            },
            60000);
        return status;
    }
    const trimora::TOutputRow& JobRow(int id) {
        return form.OutputList.Row(form.OutputList.FindRowById(id));
    }
    std::string Memo() const { return form.MemoCode->toPlainText().toStdString(); }
    std::string memoLog; // every text the memo showed, one after the other

    GuiHome home;
    trimora::MainForm form;
};

} // namespace trimora_test
