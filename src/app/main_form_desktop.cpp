// The window on the desktop: keyboard use, the geometry kept on the screen, files and folders
// dropped on the window.
#include "app/main_form.h"
#include "app/qt_text.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCursor>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSlider>
#include <QToolButton>
#include <QTreeWidget>

#include <algorithm>

namespace trimora {

namespace {

// Sees every key of the application before the focused control does.
class KeyFilter : public QObject {
  public:
    explicit KeyFilter(MainForm* form) : QObject(form), form_(form) {}
    bool eventFilter(QObject* watched, QEvent* event) override {
        const QEvent::Type t = event->type();
        if (t != QEvent::KeyPress && t != QEvent::KeyRelease) return false;
        return form_->HandleKey(watched, static_cast<QKeyEvent*>(event));
    }

  private:
    MainForm* form_;
};

bool IsNavigationKey(int key) {
    switch (key) {
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Home:
    case Qt::Key_End:
        return true;
    default:
        return false;
    }
}

bool Contains(const QWidget* panel, const QWidget* w) {
    return w && (w == panel || panel->isAncestorOf(w));
}

bool UnderMouse(const QWidget* panel) {
    return panel->isVisible() && panel->rect().contains(panel->mapFromGlobal(QCursor::pos()));
}

} // namespace

void MainForm::InstallKeyboard() {
    qApp->installEventFilter(new KeyFilter(this));
    const QString keys = QStringLiteral(
        "\nKeys: I sets the start time, O the end time, to this preview's position;"
        " Space plays or pauses the preview under the mouse (and ticks a clip of the join list);"
        " arrow keys on a slider seek.");
    for (QWidget* w : {static_cast<QWidget*>(lblStart), static_cast<QWidget*>(lblEnd),
                       static_cast<QWidget*>(StartSlider), static_cast<QWidget*>(EndSlider)})
        w->setToolTip((w->toolTip().isEmpty() ? QStringLiteral("Position") : w->toolTip()) + keys);
    btnStart->setToolTip(QStringLiteral("Start the job (Return or Space when focused)"));

    // Tab follows the window top to bottom, each row left to right.
    const QList<QWidget*> order = {btnInputFolder,
                                   ComboConvert,
                                   btnOpenInput,
                                   btnOutputFolder,
                                   ComboSaveConvert,
                                   btnOpenOutput,
                                   btnSelectJoinFolder,
                                   ComboJoin,
                                   btnOpenJoinFolder,
                                   btnSaveJoinFolder,
                                   ComboSaveJoin,
                                   btnOpenSaveJoinFolder,
                                   chkboxSoundOnly,
                                   btnStartRewind,
                                   StartSlider,
                                   BtnStartFwd,
                                   EditStartTime,
                                   btnEndRewind,
                                   EndSlider,
                                   btnEndFwd,
                                   EditEndTime,
                                   btnStart,
                                   btnCancel,
                                   rdCutQuick,
                                   rdJoin,
                                   rdConvert,
                                   chkboxPartial,
                                   btnExit,
                                   cBoxConvertType,
                                   comboSizeFavor,
                                   ComboBoxFramePreset,
                                   cboxIncludeSound,
                                   cboxVolume,
                                   ComboAudio,
                                   ComboExtractVol,
                                   LvInput,
                                   LvInputJoin,
                                   chkboxJoinAllCheck,
                                   btnJoinUp,
                                   btnJoinDown,
                                   lvProgress};
    for (int i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);
}

bool MainForm::HandleKey(QObject* watched, QKeyEvent* key) {
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || widget->window() != this) return false;
    const int k = key->key();
    const bool plain = (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;

    if (key->type() == QEvent::KeyRelease) {
        // A slider moved by keys seeks as a drag does when it is let go.
        if (!key->isAutoRepeat() && IsNavigationKey(k) &&
            (watched == StartSlider || watched == EndSlider)) {
            const bool end = watched == EndSlider;
            Queue([this, end] {
                end ? EndSliderMouseUp(Qt::LeftButton) : StartSliderMouseUp(Qt::LeftButton);
            });
        }
        return false;
    }
    if (qobject_cast<QLineEdit*>(widget)) return false; // typing
    if (IsNavigationKey(k) && (watched == LvInput || watched == LvInputJoin)) {
        KeySelectTimer.start();
        return false;
    }
    const bool stepButton = watched == btnStartRewind || watched == BtnStartFwd ||
                            watched == btnEndRewind || watched == btnEndFwd;
    if (k == Qt::Key_Space && plain && (UnderMouse(StartPanel) || UnderMouse(EndPanel))) {
        TogglePreviewUnderMouse();
        return true;
    }
    if (k == Qt::Key_Space && plain && watched == LvInputJoin) { // ticks a clip for the join
        if (QTreeWidgetItem* item = LvInputJoin->currentItem()) {
            const bool ticked = item->checkState(col::JoinName) == Qt::Checked;
            item->setCheckState(col::JoinName, ticked ? Qt::Unchecked : Qt::Checked);
            State.BuildOnly = true;
            PendingUpdatesAllowed = true;
            RefreshJoinRow();
        }
        return true;
    }
    if (k == Qt::Key_Return || k == Qt::Key_Enter || (k == Qt::Key_Space && stepButton)) {
        if (stepButton) {
            const bool end = watched == btnEndRewind || watched == btnEndFwd;
            StepButtonMouseUp(end, (watched == BtnStartFwd || watched == btnEndFwd) ? 1 : -1);
            return true;
        }
        if (auto* button = qobject_cast<QAbstractButton*>(widget); button && button->isEnabled()) {
            button->click();
            return true;
        }
        if (watched == LvInput || watched == LvInputJoin) {
            KeySelectTimerTimer();
            return true;
        }
        return false;
    }
    if ((k == Qt::Key_I || k == Qt::Key_O) && plain) {
        // The focused preview's shown position; without one, each key takes its own side.
        QWidget* focus = QApplication::focusWidget();
        const bool fromEnd =
            Contains(EndPanel, focus) || (!Contains(StartPanel, focus) && k == Qt::Key_O);
        const QString shown = (fromEnd ? EditEndTime : EditStartTime)->text();
        (k == Qt::Key_I ? EditStartTime : EditEndTime)->setText(shown);
        UpdateEditTime.start();
        return true;
    }
    return false;
}

void MainForm::TogglePreviewUnderMouse() {
    PreviewPlayer& player = UnderMouse(EndPanel) ? CoreEnd : Core;
    if (!player.IsRunning()) return;
    if (player.Status() == TPlayerStatus::Status_Paused) {
        player.SendCommand("pause"); // the player's pause command toggles
        player.MarkPlaying();
    } else {
        player.Pause();
    }
}

void MainForm::FitToScreen(int left, int top, int width, int height) {
    QScreen* screen = QGuiApplication::screenAt(QPoint(left + width / 2, top + height / 2));
    if (!screen) screen = QGuiApplication::primaryScreen();
    if (!screen) {
        setGeometry(left, top, width, height);
        return;
    }
    // The frame is unknown before the window is shown: room for a title bar and borders.
    const QRect area = screen->availableGeometry().adjusted(4, 28, -4, -4);
    width = std::clamp(width, std::min(minimumWidth(), area.width()), area.width());
    height = std::clamp(height, std::min(minimumHeight(), area.height()), area.height());
    left = std::clamp(left, area.left(), area.right() + 1 - width);
    top = std::clamp(top, area.top(), area.bottom() + 1 - height);
    setGeometry(left, top, width, height);
}

void MainForm::dragEnterEvent(QDragEnterEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    if (!urls.isEmpty() && urls.first().isLocalFile()) event->acceptProposedAction();
}

void MainForm::dropEvent(QDropEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.isEmpty() || !urls.first().isLocalFile()) return;
    event->acceptProposedAction();
    const std::string path = S(urls.first().toLocalFile());
    Queue([this, path] { OpenPath(path); }); // the drop ends before a probe starts
}

} // namespace trimora
