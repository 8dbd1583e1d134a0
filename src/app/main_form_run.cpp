// Start, Cancel, the results in the output list, the summary line and the command preview.
#include "app/main_form.h"
#include "app/qt_text.h"

#include "app/dialogs.h"
#include "common/helpers.h"
#include "common/pattern.h"
#include "exec/dos_cmd_process.h"
#include "jobs/trim.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>

namespace trimora {

namespace {

const QString kStartAfterEnd = QString::fromLatin1(kStartAfterEndMessage);
} // namespace

bool MainForm::IsRunning() const {
    return !btnStart->isEnabled();
}

void MainForm::btnStartClick() {
    // The range is what the time boxes show now, also when the summary has not caught up with
    // the last typing yet.
    if (State.StartupDone && !rdJoin->isChecked()) {
        UpdateEditTime.stop();
        State.BuildOnly = true;
        RefreshCutSummary();
    }
    SyncModeState();
    if (!rdJoin->isChecked() && LvInput->selectedItems().isEmpty()) {
        ShowMessage(this, QStringLiteral("Please select a file in list to process!"));
        return;
    }
    // A clip whose probe gave no values is never cut or converted with made-up ones.
    if (!rdJoin->isChecked() && !ProbeFailure.empty()) {
        ShowMessage(this, Q(ProbeFailure));
        return;
    }
    // The row the job's result goes to is the pending row: make sure it is there and current,
    // also for a second Start right after a job ended.
    if (!rdJoin->isChecked() && State.StartupDone) {
        State.BuildOnly = true;
        RefreshCommandPreview();
    }
    State.RunFailed = false;
    State.BuildOnly = false;
    GaugeMain->setValue(0);
    GaugeMain->setVisible(true);
    ResetProgress();

    auto refuse = [this](const QString& message) {
        State.BuildOnly = true;
        State.RunFailed = false;
        GaugeMain->setVisible(false);
        ShowMessage(this, message);
    };

    if (rdCutQuick->isChecked()) {
        if (!MatchesPattern(State.InputExt, kCutExtensionsPattern)) {
            refuse(QString::fromLatin1(kCutFormatsMessage));
            return;
        }
        if (State.StartAfterEnd) {
            refuse(kStartAfterEnd);
            return;
        }
        State.JobCounter += 1;
        if (chkboxSoundOnly->isChecked())
            ExtractAudio();
        else
            BuildTrim();
        if (IsRunning() && MatchesPattern(State.InputExt, "(?i)asf|wmv") &&
            !chkboxSoundOnly->isChecked() && IsBigFile(State.InputSizeText)) {
            BigFileElapsed.clear();
            BigFileStart = std::chrono::system_clock::now();
            ThreadBigFile.StartWorker();
        }
        if (IsRunning()) SetStatus("Processing...");
        return;
    }

    if (rdJoin->isChecked()) {
        if (JoinClips()) SetStatus("Processing file #1 of " + State.JoinCountText);
        return;
    }

    // CONVERT
    if (chkboxPartial->isChecked() && State.StartAfterEnd) {
        refuse(kStartAfterEnd);
        return;
    }
    if (chkboxSoundOnly->isChecked()) {
        State.JobCounter += 1;
        ExtractAudio();
    } else {
        ConvertClip(chkboxPartial->isChecked() ? State.CutDuration : State.ClipDuration);
    }
    if (IsRunning()) SetStatus("Processing...");
}

void MainForm::btnCancelClick() {
    State.BuildOnly = true;
    SetStatus("Cancel");
    // Only the tools this window started; each run then ends as failed and removes its partial
    // output.
    Runs.MarkAllCancelled();
    for (const char* name : {"fcut.exe", "mcut.exe", "fmerge.exe", "mmerge.exe"})
        KillProcessByName(name);
    if (ThreadBigFile.IsWorkerRunning()) ThreadBigFile.StopWorker();
    EndRunControls();
}

void MainForm::ThreadBigFileExecute(TBMDThread& worker) {
    while (!worker.Terminated()) {
        worker.Synchronize([this] {
            const std::string e = FormatElapsed(std::chrono::system_clock::now(), BigFileStart);
            BigFileElapsed = e;
            if (State.InputExt == ".flv") SetStatus("Processing, please wait... " + e);
            if (MatchesPattern(State.InputExt, "(?i)asf|wmv"))
                SetStatus("(Big File) Please wait while seeking to Start Position... " + e);
        });
        worker.Wait(200);
    }
}

void MainForm::OpenOutputFile(const std::string& path) {
    if (!FileExists(path)) {
        ShowMessage(this, Q("The requested file: " + path +
                            "\n either not exist or still being processed!"));
        return;
    }
    OpenWithDesktop(Q(path));
}

void MainForm::lvProgressDblClick() {
    const QList<QTreeWidgetItem*> selected = lvProgress->selectedItems();
    if (selected.isEmpty()) return;
    const std::string path = S(selected.first()->text(col::OutPath));
    if (path.empty()) return; // the message row names no file
    OpenOutputFile(path);
}

void MainForm::lblStatusDblClick() {
    if (LastSavedImage.empty()) return;
    OpenOutputFile(LastSavedImage);
}

void MainForm::BeginRunControls() {
    GaugeMain->setValue(0);
    btnStart->setEnabled(false);
}

void MainForm::EndRunControls() {
    GaugeMain->setValue(0);
    GaugeMain->setVisible(false);
    btnStart->setEnabled(true);
    State.BuildOnly = true;
    SetStatus("Ready");
}

void MainForm::RefreshCutSummary() {
    PrepareCutTimes();
    // The preview makes the output name that the line shows.
    RefreshCommandPreview();
    if (State.DesignMode)
        lblClipInfo->setText(Q("Save as: " + State.OutputFile + " [" + State.SeekArgs + " or " +
                               State.CutTimeText + "]"));
    else
        lblClipInfo->setText(Q("Save as: " + State.OutputFile + " [Total cut time = " +
                               State.CutTimeText + "]" + ExactCutSummary() +
                               CopyRangeSummary()));
    if (State.StartAfterEnd)
        lblClipInfo->setText(QStringLiteral("StartTime can not be greater than EndTime ! Please "
                                            "complete setting Start and End Time."));
    lblClipInfo->setToolTip(lblClipInfo->text()); // the whole line, also in a narrow window
}

void MainForm::RefreshCommandPreview() {
    if (chkboxSoundOnly->isChecked()) {
        ExtractAudio();
        return;
    }
    if (rdCutQuick->isChecked()) BuildTrim();
    if (rdConvert->isChecked())
        ConvertClip(chkboxPartial->isChecked() ? State.CutDuration : State.ClipDuration);
}

} // namespace trimora
