// Without the preview players: the panels stay dark, the sliders and step buttons only move
// the time boxes, and the one extra run (the encoder warm-up) is started here. The preview
// window code (main_form_preview.cpp) replaces this file.
#include "app/main_form.h"

#include "common/helpers.h"
#include "exec/dos_cmd_process.h"

#include <QLineEdit>
#include <QSlider>

namespace trimora {

void MainForm::InitPreviews() {}
void MainForm::StopPreviews() {}
void MainForm::LoadStartVideoTimerTimer() { LoadStartVideoTimer.stop(); }
void MainForm::LoadEndVideoTimerTimer() { LoadEndVideoTimer.stop(); }
void MainForm::StartPauseTimerTimer() { StartPauseTimer.stop(); }
void MainForm::EndPauseTimerTimer() { EndPauseTimer.stop(); }
void MainForm::UpdateTimerTimer() {}

void MainForm::StartSliderMouseUp(Qt::MouseButton button) {
    if (button != Qt::LeftButton)
        return;
    EditStartTime->setText(QString::fromStdString(FormatSecondsMs(StartSlider->value())));
    UpdateEditTime.start();
}

void MainForm::EndSliderMouseUp(Qt::MouseButton button) {
    if (button != Qt::LeftButton)
        return;
    EditEndTime->setText(QString::fromStdString(FormatSecondsMs(EndSlider->value())));
    UpdateEditTime.start();
}

void MainForm::StepButtonMouseUp(bool endSide, int step) {
    QSlider* slider = endSide ? EndSlider : StartSlider;
    slider->setValue(slider->value() + step);
    if (endSide)
        EndSliderMouseUp(Qt::LeftButton);
    else
        StartSliderMouseUp(Qt::LeftButton);
}

void MainForm::SaveFrame(bool) {}

void MainForm::StartExtraRun(const std::string& command, const std::string& kind) {
    if (kind != "DosPreloadffmpeg" || preloadRun_)
        return;
    preloadRun_ = std::make_unique<TDosCmdProcess>();
    preloadRun_->CmdLine = command;
    preloadRun_->OnProcessComplete = [this](TDosCmdProcess&) {
        Queue([this] { preloadRun_.reset(); });
    };
    if (!preloadRun_->Run())
        preloadRun_.reset();
}

} // namespace trimora
