#pragma once
// Helpers of the window tests: an isolated home with recorded dialogs, waiting on the event
// loop, and clicking list rows.

#include "app/dialogs.h"
#include "support/test_env.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStringList>
#include <QTest>
#include <QThread>
#include <QTreeWidget>
#include <functional>
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

} // namespace trimora_test
