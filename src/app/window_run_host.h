#pragma once
// What a tool run shows, in the main window: the gauge, the status label, the output list, the
// command memo and the message box. Runner threads reach the window only through Post, which
// queues the work to the user-interface thread.

#include "exec/tool_runs.h"

namespace trimora {

class MainForm;

class TWindowRunHost : public TRunHost {
  public:
    explicit TWindowRunHost(MainForm& form) : form_(form) {}

    void Post(std::function<void()> fn) override;
    void SetGauge(int percent) override;
    void SetStatusText(const std::string& text) override;
    void SetMessageRow(const std::string& caption) override;
    void SetRowStatus(int id, const std::string& status, const std::string& fullPath,
                      int64_t size) override;
    void ClearMemo() override;
    void AppendMemo(const std::string& line) override;
    void ShowMessage(const std::string& text) override;
    void BeginRunControls() override;
    void EndRunControls() override;
    bool IsBigFileWorkerRunning() override;
    void StopBigFileWorker() override;

  private:
    MainForm& form_;
};

} // namespace trimora
