// Without the preview players: the panels stay dark, the sliders and step buttons only move
// the time boxes, and no frame can be saved. The preview
// window code (main_form_preview.cpp) replaces this file.
#include "app/main_form.h"

#include "common/helpers.h"

#include <QLineEdit>
#include <QSlider>

namespace trimora {

void MainForm::InitPreviews() {}
void MainForm::StopPreviews() {}
void MainForm::LoadStartVideoTimerTimer() {
    LoadStartVideoTimer.stop();
}
void MainForm::LoadEndVideoTimerTimer() {
    LoadEndVideoTimer.stop();
}
void MainForm::StartPauseTimerTimer() {
    StartPauseTimer.stop();
}
void MainForm::EndPauseTimerTimer() {
    EndPauseTimer.stop();
}
void MainForm::UpdateTimerTimer() {}

void MainForm::StartSliderMouseUp(Qt::MouseButton button) {
    if (button != Qt::LeftButton) return;
    EditStartTime->setText(QString::fromStdString(FormatSecondsMs(StartSlider->value())));
    UpdateEditTime.start();
}

void MainForm::EndSliderMouseUp(Qt::MouseButton button) {
    if (button != Qt::LeftButton) return;
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

} // namespace trimora
