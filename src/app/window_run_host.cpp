#include "app/window_run_host.h"

#include "app/dialogs.h"
#include "app/main_form.h"
#include "jobs/output_list.h"

#include <QProgressBar>

namespace trimora {

void TWindowRunHost::Post(std::function<void()> fn) { form_.Queue(std::move(fn)); }

void TWindowRunHost::SetGauge(int percent) { form_.GaugeMain->setValue(std::clamp(percent, 0, 100)); }

void TWindowRunHost::SetStatusText(const std::string& text) { form_.SetStatus(text); }

void TWindowRunHost::SetMessageRow(const std::string& caption) {
    form_.OutputList.SetRowCaption(caption, MessageRowId, 0, "");
}

void TWindowRunHost::SetRowStatus(int id, const std::string& status, const std::string& fullPath,
                                  int64_t size) {
    form_.OutputList.SetRowStatus(status, fullPath, size, id);
}

void TWindowRunHost::ClearMemo() { form_.MemoCodeClear(); }

void TWindowRunHost::AppendMemo(const std::string& line) { form_.MemoCodeAdd(line); }

void TWindowRunHost::ShowMessage(const std::string& text) {
    trimora::ShowMessage(&form_, QString::fromStdString(text));
}

void TWindowRunHost::BeginRunControls() { form_.BeginRunControls(); }

void TWindowRunHost::EndRunControls() { form_.EndRunControls(); }

bool TWindowRunHost::IsBigFileWorkerRunning() { return form_.ThreadBigFile.IsWorkerRunning(); }

void TWindowRunHost::StopBigFileWorker() { form_.ThreadBigFile.StopWorker(); }

} // namespace trimora
