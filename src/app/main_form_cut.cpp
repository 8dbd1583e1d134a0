// CUT mode: the range from the time boxes and the cut of the selected clip; the window side of
// every tool run (gauge, status, rows, memo) for the job runners.
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

// What a job run shows, on the user-interface thread. Once detached (the window is gone while
// a tool still runs) the run's remaining effects are dropped.
class WindowRunHost : public TRunHost {
  public:
    explicit WindowRunHost(MainForm& form) : form_(&form) {}
    void Detach() {
        std::lock_guard lock(mutex_);
        form_ = nullptr;
    }
    void Post(std::function<void()> fn) override {
        std::lock_guard lock(mutex_);
        if (form_)
            form_->Queue([this, fn = std::move(fn)] {
                if (form_)
                    fn();
            });
    }
    void SetGauge(int percent) override { form_->GaugeMain->setValue(percent); }
    void SetStatusText(const std::string& text) override { form_->SetStatus(text); }
    void SetMessageRow(const std::string& caption) override {
        form_->OutputList.SetRowCaption(caption, MessageRowId, 0, "");
    }
    void SetRowStatus(int id, const std::string& status, const std::string& fullPath,
                      int64_t size) override {
        form_->OutputList.SetRowStatus(status, fullPath, size, id);
    }
    void ClearMemo() override { form_->MemoCodeClear(); }
    void AppendMemo(const std::string& line) override { form_->MemoCodeAdd(line); }
    void ShowMessage(const std::string& text) override {
        trimora::ShowMessage(form_, QString::fromStdString(text));
    }
    void BeginRunControls() override { form_->BeginRunControls(); }
    void EndRunControls() override { form_->EndRunControls(); }
    bool IsBigFileWorkerRunning() override { return form_->ThreadBigFile.IsWorkerRunning(); }
    void StopBigFileWorker() override {
        if (form_->ThreadBigFile.IsWorkerRunning())
            form_->ThreadBigFile.StopWorker();
    }

  private:
    std::mutex mutex_;
    MainForm* form_;
};

void MainForm::CreateRuns() {
    runHost_ = std::make_unique<WindowRunHost>(*this);
    Runs = std::make_unique<TToolRuns>(State, *runHost_);
}

// A tool still running when the window goes away is left to finish on its own; its runner and
// the host it reports to stay alive (detached) until the process ends.
void MainForm::ReleaseRuns() {
    if (!Runs)
        return;
    const bool busy = Runs->SlotBusy(kRunTrim) || Runs->SlotBusy(kDosConvertClip) ||
                      Runs->SlotBusy(kJoinFormList);
    static_cast<WindowRunHost*>(runHost_.get())->Detach();
    if (busy) {
        (void)Runs.release();
        (void)runHost_.release();
        return;
    }
    Runs.reset();
    runHost_.reset();
}

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
    std::lock_guard lock(Runs->ProgressMutex());
    Runs->CutProgress.Percent = 0;
    Runs->PosProgress.Percent = 0;
}

void MainForm::AddPendingRow() {
    SyncModeState();
    trimora::AddPendingRow(State, OutputList);
}

void MainForm::BuildTrim() {
    if (!State.StartupDone)
        return;
    SyncModeState();
    State.CutNosound = chkboxNosound->isChecked();
    trimora::BuildTrim(State, Info, *Runs, ConvertVolumePiece());
    if (State.BuildOnly)
        AddPendingRow();
}

} // namespace trimora
