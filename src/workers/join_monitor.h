#pragma once
// ThreadJoinListFileMon: while a join runs, a worker thread refreshes the status text and the
// gauge about every 50 ms. The worker only waits and queues work to the GUI thread through the
// host; every read of the join's state and every change of a control happens there.

#include "common/helpers.h"

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace trimora {

// What one refresh reads, on the GUI thread.
struct TJoinMonitorView {
    int JoinFileType = 0; // item index of the join format group; 1 is "flv"
    bool JoinByMencoder = false;
    bool JoinByMerge = false;
    int FilesDone = 0; // files the mencoder join has finished
    int FileCount = 0; // files of the join
    std::string JoinCountText;
    TimePoint JoinStart{};
    int Percent = 0; // percent of the latest join progress
};

// The status text of a refresh; empty leaves the label as it is.
std::string JoinMonitorStatus(const TJoinMonitorView& view, TimePoint now);
// The gauge of a refresh: nothing to show for the flv joiner, which prints no progress.
int JoinMonitorGauge(const TJoinMonitorView& view);

class TJoinListFileMon {
  public:
    struct Host {
        // Queues a call to the GUI thread (does not wait for it).
        std::function<void(std::function<void()>)> Post;
        // Called on the GUI thread.
        std::function<TJoinMonitorView()> Read;
        std::function<void(const std::string&)> SetStatus;
        std::function<void(int)> SetGauge;
    };

    explicit TJoinListFileMon(Host host,
                              std::chrono::milliseconds interval = std::chrono::milliseconds(50));
    ~TJoinListFileMon(); // stops the worker and waits for it (at most one interval)
    TJoinListFileMon(const TJoinListFileMon&) = delete;
    TJoinListFileMon& operator=(const TJoinListFileMon&) = delete;

    // Starts the worker unless one runs. A worker that was stopped but has not yet ended is
    // waited for first, so a join that follows another at once still gets its monitor.
    void StartWorker();
    // Asks the worker to end; does not wait. Refreshes queued before are skipped.
    void StopWorker();
    bool IsWorkerRunning() const;

  private:
    struct Shared;
    Host host_;
    std::chrono::milliseconds interval_;
    std::shared_ptr<Shared> shared_;
    std::thread thread_;
};

} // namespace trimora
