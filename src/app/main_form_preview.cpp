// The two live previews: Core draws the start position into VidStartPanel, CoreEnd the end
// position into VidEndPanel. Sliders and step buttons seek them, their status lines give the
// times in the two boxes, and either picture can be saved as a JPEG image.
#include "app/dialogs.h"
#include "app/main_form.h"
#include "app/qt_text.h"

#include "common/helpers.h"
#include "preview/positions.h"

#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QThread>
#include <QTreeWidget>

namespace trimora {

namespace {


// The window-title tip over the two preview panels.
class PanelTipFilter : public QObject {
  public:
    explicit PanelTipFilter(MainForm* form) : QObject(form), form_(form) {}

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Enter) {
            // A clip is set once InputFile is a full path.
            if (!form_->State.InputFile.empty() && form_->State.InputFile[0] == '/')
                form_->setWindowTitle(QStringLiteral("Tip: RightClick to save this current Image"));
        } else if (event->type() == QEvent::Leave) {
            if (form_->windowTitle().contains(QStringLiteral("RightClick")))
                form_->setWindowTitle(Q(form_->NormalTitle));
        }
        return QObject::eventFilter(watched, event);
    }

  private:
    MainForm* form_;
};

} // namespace

void MainForm::InitPreviews() {
    for (PreviewPlayer* player : {&Core, &CoreEnd}) {
        player->host.Post = [this](std::function<void()> work) { Queue(std::move(work)); };
        player->PlayerExe = FindPlayerExe(State.ProgramFolder, State.SystemFolder);
        player->WorkingFolder = State.ProgramFolder;
    }
    Core.host.PositionChanged = [this] { UpdateStartPositionText(); };
    CoreEnd.host.PositionChanged = [this] { UpdateEndPositionText(); };
    // The native windows the players draw into, taken once.
    StartPanelWindow = static_cast<uint64_t>(VidStartPanel->winId());
    EndPanelWindow = static_cast<uint64_t>(VidEndPanel->winId());
    auto* tip = new PanelTipFilter(this);
    VidStartPanel->installEventFilter(tip);
    VidEndPanel->installEventFilter(tip);
}

void MainForm::StopPreviews() {
    Core.Stop();
    CoreEnd.Stop();
}

// ---- loading -----------------------------------------------------------------------------------

void MainForm::LoadStartVideoTimerTimer() {
    LoadStartVideoTimer.stop();
    LoadStartPreview(State.InputFile);
}

void MainForm::LoadEndVideoTimerTimer() {
    LoadEndVideoTimer.stop();
    LoadEndPreview(State.InputFile);
    if (!EndPreviewLoadedOnce) {
        // The first clip waits for the window to settle; later clips load quicker.
        EndPreviewLoadedOnce = true;
        LoadStartVideoTimer.setInterval(100);
        LoadEndVideoTimer.setInterval(650);
    }
}

void MainForm::LoadStartPreview(const std::string& path) {
    if (Info.BadFile) {
        MemoCodeAdd("File Corrupted");
        return;
    }
    Core.Stop();
    QThread::msleep(60);
    QApplication::processEvents();
    Core.MediaFile = path;
    Core.Start(StartPanelWindow);
    StartPauseTimer.start();
}

void MainForm::LoadEndPreview(const std::string& path) {
    if (Info.BadFile) return;
    CoreEnd.Stop();
    QThread::msleep(60);
    QApplication::processEvents();
    CoreEnd.MediaFile = path;
    CoreEnd.Start(EndPanelWindow);
    EndPauseTimer.start();
}

// The preview plays silently for a moment, then holds its picture.
void MainForm::StartPauseTimerTimer() {
    StartPauseTimer.stop();
    Core.Pause();
}

void MainForm::EndPauseTimerTimer() {
    EndPauseTimer.stop();
    CoreEnd.Pause();
}

// ---- seeking -----------------------------------------------------------------------------------

std::string MainForm::SeekType() const {
    return SeekTypeFor(State.InputExt);
}

void MainForm::SeekPreview(PreviewPlayer& player, QSlider* slider) {
    const int value = slider->value();
    player.SendCommand(SeekCommand(value, SeekType()));
    player.Pause();
    if (State.DesignMode) {
        const bool percent = SeekType() == " 1";
        lblMessage->setText(Q("SendCommand(seek " + std::to_string(value) +
                              (percent ? " SEEK_ABSOLUTE (1) )" : " SEEK_FRACTION (2) )") +
                              " / MaxValue=" + std::to_string(slider->maximum()) +
                              " / SourceExt=" + State.InputExt));
    }
}

void MainForm::StartSliderMouseUp(Qt::MouseButton button) {
    if (button != Qt::LeftButton) return;
    SeekPreview(Core, StartSlider);
}

void MainForm::EndSliderMouseUp(Qt::MouseButton button) {
    if (LvInput->selectedItems().isEmpty()) {
        ShowMessage(this, QStringLiteral("Please select a file in list to proceed!"));
        return;
    }
    if (button != Qt::LeftButton) return;
    SeekPreview(CoreEnd, EndSlider);
}

// One second (one percent for a WMV clip) back or forth. The command is not clamped; the
// slider is.
void MainForm::StepButtonMouseUp(bool endSide, int step) {
    QSlider* slider = endSide ? EndSlider : StartSlider;
    PreviewPlayer& player = endSide ? CoreEnd : Core;
    player.SendCommand(SeekCommand(int64_t(slider->value()) + step, SeekType()));
    slider->setValue(slider->value() + step);
    player.RequestPercentPosition();
    player.Pause();
}

// ---- positions ---------------------------------------------------------------------------------

void MainForm::UpdateStartPositionText() {
    if (Core.Status() != TPlayerStatus::Status_Playing &&
        Core.Status() != TPlayerStatus::Status_Paused)
        return;
    if (StartSlider->value() <= 0) {
        EditStartTime->setText(QStringLiteral("0:00:00.000"));
        return;
    }
    PositionInput in;
    in.sliderValue = StartSlider->value();
    in.lastStatusLine = Core.LastStatusLine;
    in.inputExt = State.InputExt;
    in.flvCanSeek = Info.FlvCanSeek;
    in.durationText = Info.DurationText;
    const std::string text = StartPositionText(in, StartSeconds);
    if (State.DesignMode)
        SetStatus(Core.LastStatusLine + "  s=" + StatusLineSecondsText(Core.LastStatusLine));
    EditStartTime->setText(Q(text));
    UpdateEditTime.start();
}

void MainForm::UpdateEndPositionText() {
    if (CoreEnd.Status() != TPlayerStatus::Status_Playing &&
        CoreEnd.Status() != TPlayerStatus::Status_Paused)
        return;
    if (EndSlider->value() <= 0) {
        EditEndTime->setText(QStringLiteral("0:00:00.000"));
        return;
    }
    PositionInput in;
    in.sliderValue = EndSlider->value();
    in.lastStatusLine = CoreEnd.LastStatusLine;
    in.inputExt = State.InputExt;
    in.flvCanSeek = Info.FlvCanSeek;
    in.durationText = Info.DurationText;
    const std::string text = EndPositionText(in, EndSeconds);
    if (State.DesignMode)
        SetStatus(CoreEnd.LastStatusLine + "  s=" + StatusLineSecondsText(CoreEnd.LastStatusLine));
    EditEndTime->setText(Q(text));
    UpdateEditTime.start();
}

void MainForm::UpdateTimerTimer() {
    if (Core.PollingActive) Core.RequestPercentPosition();
    if (CoreEnd.PollingActive) CoreEnd.RequestPercentPosition();
    if (Core.IsRunning()) DesktopAwake.Poke();
}

// ---- frame save --------------------------------------------------------------------------------

void MainForm::SaveFrame(bool endSide) {
    if (State.InputFile.empty()) return; // no clip, no picture
    const std::string t = FrameTimeText(S((endSide ? EditEndTime : EditStartTime)->text()));
    const std::string image = SaveFrameImagePath(State.SaveImageFolder, t);
    const std::string command = SaveFrameCommand(State.FfmpegCommand, t, State.InputFile, image);
    // A save still running makes this request a no-op; the image path is remembered once the
    // run has written it (FrameSaved), so a double click never opens a file that was not made.
    const bool busy = ExtraRuns.IsRunning(kDosSaveFrame);
    if (!StartExtraRun(command, kDosSaveFrame, image) && !busy)
        SetStatus("Image not saved: the encoder could not be started");
    if (State.DesignMode) MemoCodeAdd(command);
}

} // namespace trimora
