// CUT mode: the range from the time boxes, the cut of the selected clip and the output list.
#include "app/main_form.h"

#include "app/dialogs.h"
#include "common/helpers.h"

#include <QLineEdit>
#include <QTreeWidget>

namespace trimora {

void MainForm::PrepareCutTimes() {
    if (!State.StartupDone)
        return;
    const double start = ParseTimeSecondsFrac(EditStartTime->text().trimmed().toStdString());
    const double end = ParseTimeSecondsFrac(EditEndTime->text().trimmed().toStdString());
    State.CutDuration = static_cast<int64_t>(end) - static_cast<int64_t>(start);
    State.StartAfterEnd = end < start;
    State.CutTimeText = FormatSeconds(State.CutDuration < 0 ? 0 : State.CutDuration);
}

void MainForm::ClearCutPieces() { State.SeekArgs.clear(); }

void MainForm::ResetProgress() {}

void MainForm::AddPendingRow() {
    SyncModeState();
    trimora::AddPendingRow(State, OutputList);
}

void MainForm::BuildTrim() {
    if (!State.StartupDone || State.BuildOnly)
        return;
    ShowMessage(this, QStringLiteral("Cutting is not available in this build."));
    EndRunControls();
}

} // namespace trimora
