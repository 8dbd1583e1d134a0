#include "workers/join_monitor.h"

#include <atomic>
#include <condition_variable>
#include <mutex>

namespace trimora {

std::string JoinMonitorStatus(const TJoinMonitorView& v, TimePoint now) {
    std::string status;
    if (v.JoinFileType == 1)
        status = "Joining flv files please wait..." + FormatElapsed(now, v.JoinStart);
    if (v.JoinByMencoder) {
        const int n = v.FilesDone + 1;
        if (n <= v.FileCount)
            status = "Processing file #" + std::to_string(n) + " of " + v.JoinCountText;
    }
    if (v.JoinByMerge) status = "Processing...";
    return status;
}

int JoinMonitorGauge(const TJoinMonitorView& v) {
    return v.JoinFileType == 1 ? 0 : v.Percent;
}

// One per worker: what the worker and the refreshes it queued share. Queued refreshes may run
// after the monitor itself is gone, so they hold this and not the monitor.
struct TJoinListFileMon::Shared {
    Host host;
    std::mutex mutex;
    std::condition_variable wake;
    std::atomic<bool> terminated{false};
    std::atomic<bool> ended{false};
};

TJoinListFileMon::TJoinListFileMon(Host host, std::chrono::milliseconds interval)
    : host_(std::move(host)), interval_(interval) {}

TJoinListFileMon::~TJoinListFileMon() {
    StopWorker();
    if (thread_.joinable()) thread_.join();
}

bool TJoinListFileMon::IsWorkerRunning() const {
    return shared_ && !shared_->ended;
}

void TJoinListFileMon::StartWorker() {
    if (shared_ && !shared_->terminated && !shared_->ended) return;
    if (thread_.joinable()) {
        StopWorker();
        thread_.join();
    }
    auto shared = std::make_shared<Shared>();
    shared->host = host_;
    shared_ = shared;
    const auto interval = interval_;
    thread_ = std::thread([shared, interval] {
        auto post = [&shared](auto work) {
            if (shared->terminated) return;
            shared->host.Post([shared, work] {
                if (!shared->terminated) work(*shared);
            });
        };
        while (!shared->terminated) {
            post([](Shared& s) {
                const std::string status =
                    JoinMonitorStatus(s.host.Read(), std::chrono::system_clock::now());
                if (!status.empty()) s.host.SetStatus(status);
            });
            {
                std::unique_lock<std::mutex> lock(shared->mutex);
                shared->wake.wait_for(lock, interval, [&] { return shared->terminated.load(); });
            }
            post([](Shared& s) { s.host.SetGauge(JoinMonitorGauge(s.host.Read())); });
        }
        shared->ended = true;
    });
}

void TJoinListFileMon::StopWorker() {
    if (!shared_) return;
    {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        shared_->terminated = true;
    }
    shared_->wake.notify_all();
}

} // namespace trimora
