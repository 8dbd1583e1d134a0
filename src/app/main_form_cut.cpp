// CUT mode: the range from the time boxes and the cut of the selected clip.
#include "app/main_form.h"

#include "app/dialogs.h"
#include "common/helpers.h"
#include "jobs/trim.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>

namespace trimora {

void MainForm::PrepareCutTimes() {
    trimora::PrepareCutTimes(State, EditStartTime->text().toStdString(),
                             EditEndTime->text().toStdString());
}

void MainForm::ClearCutPieces() {
    State.SeekArgs.clear();
    State.EndPosPiece.clear();
    State.EdlPiece.clear();
    State.SplitPiece.clear();
}

void MainForm::ResetProgress() {
    std::lock_guard lock(Runs.ProgressMutex());
    Runs.CutProgress.Percent = 0;
    Runs.PosProgress.Percent = 0;
}

void MainForm::AddPendingRow() {
    SyncModeState();
    trimora::AddPendingRow(State, OutputList);
}

// The cut re-encodes some sound with the gain chosen for converting, once one was built.
std::string MainForm::ConvertVolumePiece() const {
    return ConvertJob.Pieces.VolumePiece;
}

void MainForm::BuildTrim() {
    if (!State.StartupDone) return;
    SyncModeState();
    State.CutNosound = chkboxNosound->isChecked();
    State.CutExact = chkboxExact->isChecked();
    trimora::BuildTrim(State, Info, Runs, ConvertVolumePiece());
    if (State.BuildOnly) AddPendingRow();
}

} // namespace trimora
