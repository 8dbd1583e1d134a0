// The two live previews: Core draws the start position into StartView, CoreEnd the end
// position into EndView. The window's handlers are thin calls into the two panels; either
// picture can be saved as a JPEG image.
#include "app/dialogs.h"
#include "app/main_form.h"
#include "app/qt_text.h"

#include "common/helpers.h"
#include "preview/positions.h"
#include "ui/preview_panel.h"

#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
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
    for (PreviewPanel* view : {StartView, EndView}) {
        view->host.TimeChanged = [this] { UpdateEditTime.start(); };
        view->host.Message = [this](const std::string& text) { SetStatus(text); };
    }
    // The native windows the players draw into, taken once.
    StartPanelWindow = static_cast<uint64_t>(VidStartPanel->winId());
    EndPanelWindow = static_cast<uint64_t>(VidEndPanel->winId());
    auto* tip = new PanelTipFilter(this);
    VidStartPanel->installEventFilter(tip);
    VidEndPanel->installEventFilter(tip);
}

void MainForm::StopPreviews() {
    StartView->Stop();
    EndView->Stop();
}

// ---- loading -----------------------------------------------------------------------------------

void MainForm::LoadStartVideoTimerTimer() {
    LoadStartVideoTimer.stop();
    LoadStartPreview(State.InputFile);
}

void MainForm::LoadEndVideoTimerTimer() {
    LoadEndVideoTimer.stop();
    LoadEndPreview(State.InputFile);
}

void MainForm::LoadStartPreview(const std::string& path) {
    if (Info.BadFile) {
        MemoCodeAdd("File Corrupted");
        return;
    }
    StartView->SetClip(State.InputExt, Info.DurationSeconds);
    StartView->Load(path);
    StartPauseTimer.start();
}

void MainForm::LoadEndPreview(const std::string& path) {
    if (Info.BadFile) return;
    EndView->SetClip(State.InputExt, Info.DurationSeconds);
    EndView->Load(path);
    EndPauseTimer.start();
}

// The preview holds its picture.
void MainForm::StartPauseTimerTimer() {
    StartPauseTimer.stop();
    StartView->Hold();
}

void MainForm::EndPauseTimerTimer() {
    EndPauseTimer.stop();
    EndView->Hold();
}

// ---- seeking -----------------------------------------------------------------------------------

std::string MainForm::SeekType() const {
    return SeekTypeFor(State.InputExt);
}

void MainForm::SeekPreview(PreviewPanel& view) {
    view.SeekToSlider();
    if (State.DesignMode) {
        const int value = view.Slider->value();
        const bool percent = SeekType() == " 1";
        lblMessage->setText(Q("SendCommand(seek " + std::to_string(value) +
                              (percent ? " SEEK_ABSOLUTE (1) )" : " SEEK_FRACTION (2) )") +
                              " / MaxValue=" + std::to_string(view.Slider->maximum()) +
                              " / SourceExt=" + State.InputExt));
    }
}

void MainForm::StartSliderMouseUp(Qt::MouseButton button) {
    if (button != Qt::LeftButton) return;
    SeekPreview(*StartView);
}

void MainForm::EndSliderMouseUp(Qt::MouseButton button) {
    if (LvInput->selectedItems().isEmpty()) {
        ShowMessage(this, QStringLiteral("Please select a file in list to proceed!"));
        return;
    }
    if (button != Qt::LeftButton) return;
    SeekPreview(*EndView);
}

// One second (one percent for a WMV clip) back or forth.
void MainForm::StepButtonMouseUp(bool endSide, int step) {
    (endSide ? EndView : StartView)->Step(step);
}

// ---- positions ---------------------------------------------------------------------------------

void MainForm::UpdateStartPositionText() {
    StartView->ShowPlayerTime();
    StartSeconds = StartView->Seconds();
    if (State.DesignMode)
        SetStatus(Core.LastStatusLine + "  s=" + StatusLineSecondsText(Core.LastStatusLine));
}

void MainForm::UpdateEndPositionText() {
    EndView->ShowPlayerTime();
    EndSeconds = EndView->Seconds();
    if (State.DesignMode)
        SetStatus(CoreEnd.LastStatusLine + "  s=" + StatusLineSecondsText(CoreEnd.LastStatusLine));
}

void MainForm::UpdateTimerTimer() {
    if (Core.PollingActive) Core.RequestPercentPosition();
    if (CoreEnd.PollingActive) CoreEnd.RequestPercentPosition();
    if (Core.IsRunning()) DesktopAwake.Poke();
}

// ---- frame save --------------------------------------------------------------------------------

void MainForm::SaveFrame(bool endSide) {
    if (State.InputFile.empty()) return; // no clip, no picture
    // The frame on screen; the end box reads the clip's end for the last frame, where no frame
    // starts.
    PreviewPanel* view = endSide ? EndView : StartView;
    const std::string t = view->Player.IsRunning()
                              ? FormatSecondsMs(view->Seconds())
                              : FrameTimeText(S((endSide ? EditEndTime : EditStartTime)->text()));
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
