// The mode buttons, the partial and sound-only switches and the option handlers: each change
// rearranges the window and re-prepares the command of the current mode without running it.
#include "app/main_form.h"

#include "common/helpers.h"
#include "ui/radio_group.h"
#include <QComboBox>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSlider>
#include <QStackedWidget>
#include <QTabWidget>
#include <QThread>
#include <QTreeWidget>

namespace trimora {

namespace {
void SetModeColours(QLabel* active, QLabel* other1, QLabel* other2) {
    active->setStyleSheet(QStringLiteral("color: #ffff00;"));
    other1->setStyleSheet(QStringLiteral("color: #00ff00;"));
    other2->setStyleSheet(QStringLiteral("color: #00ff00;"));
}
} // namespace

void MainForm::SyncModeState() {
    State.Mode = rdJoin->isChecked()      ? TMode::Join
                 : rdConvert->isChecked() ? TMode::Convert
                                          : TMode::Cut;
    State.Partial = chkboxPartial->isChecked();
    State.SoundOnly = chkboxSoundOnly->isChecked();
    State.ConvertTypeText = cBoxConvertType->currentText().toStdString();
    State.AudioTypeText = ComboAudio->currentText().toStdString();
    State.InputSelected = !LvInput->selectedItems().isEmpty();
    State.JoinFileType = rgJoinSelection->ItemIndex();
}

void MainForm::SetOptionPanelVisible(bool shown) {
    if (State.DesignMode) return; // the diagnostic layout keeps its option panel
    PanelConvertOption->setFixedHeight(shown ? 152 : 1);
    PanelConvertOption->setVisible(shown);
}

void MainForm::ApplyModeLayout() {
    State.BuildOnly = true;
    SyncModeState();
    if (rdCutQuick->isChecked()) {
        HostFolderPanel->setCurrentWidget(ConvertFolderPanel);
        P1->setCurrentWidget(InputTab);
        SetModeColours(LabelCutQuick, LabelVidJoin, LabelVidConvert);
        lblPartial->setVisible(false);
        chkboxPartial->setVisible(false);
        chkboxExact->setVisible(true);
        SetOptionPanelVisible(chkboxSoundOnly->isChecked());
        AddPendingRow();
    }
    if (rdJoin->isChecked()) {
        HostFolderPanel->setCurrentWidget(JoinFolderPanel);
        P1->setCurrentWidget(InputJoinTab);
        SetModeColours(LabelVidJoin, LabelCutQuick, LabelVidConvert);
        lblPartial->setVisible(false);
        chkboxPartial->setVisible(false);
        chkboxExact->setVisible(false);
        SetOptionPanelVisible(false);
        RefreshJoinRow();
    }
    if (rdConvert->isChecked()) {
        HostFolderPanel->setCurrentWidget(ConvertFolderPanel);
        P1->setCurrentWidget(InputTab);
        SetModeColours(LabelVidConvert, LabelCutQuick, LabelVidJoin);
        lblPartial->setVisible(true);
        chkboxPartial->setVisible(true);
        chkboxExact->setVisible(false);
        SetOptionPanelVisible(true);
    }
}

void MainForm::ResetPositions() {
    StopPreviews();
    QThread::msleep(60);
    StartSlider->setValue(0);
    EndSlider->setValue(0);
    EditStartTime->setText(QStringLiteral("0:00:00.000"));
    EditEndTime->setText(QStringLiteral("0:00:00.000"));
    State.ClipDuration = 0;
    State.CutDuration = 0;
    for (int i = 0; i < LvInput->topLevelItemCount(); ++i)
        LvInput->topLevelItem(i)->setCheckState(0, Qt::Unchecked);
    ClearInputSelection();
    QApplication::processEvents();
}

void MainForm::ClearInputSelection() {
    LvInput->clearSelection();
    LvInput->setCurrentItem(nullptr);
    CheckedInputIndex = -1;
    SelectionComplete = false;
}

void MainForm::rdCutQuickClick() {
    ResetPositions();
    State.BuildOnly = true;
    ClearCutPieces();
    if (State.DesignMode) BuildTrim();
    ClearInputSelection();
    ApplyModeLayout();
}

void MainForm::rdJoinClick() {
    ResetPositions();
    State.BuildOnly = true;
    ApplyModeLayout();
    if (DirectoryExistsEx(State.JoinFolder)) ComboJoinSelect();
}

void MainForm::rdConvertClick() {
    ResetPositions();
    State.BuildOnly = true;
    ClearCutPieces();
    ApplyModeLayout();
    if (State.DesignMode) {
        AddPendingRow();
        RefreshCommandPreview();
    }
    ClearInputSelection();
}

void MainForm::chkboxPartialClick() {
    State.BuildOnly = true;
    ApplyModeLayout();
    AddPendingRow();
    RefreshCommandPreview();
}

void MainForm::cBoxConvertTypeSelect() {
    SyncModeState();
    AddPendingRow();
    RefreshCommandPreview();
}

void MainForm::ComboAudioSelect() {
    SyncModeState();
    RefreshCommandPreview();
}

void MainForm::chkboxSoundOnlyMouseUp() {
    UpdateEditTime.start();
    ApplyModeLayout();
}

} // namespace trimora
