#pragma once
// A run host that records what the window would show. Posted work runs at once on the posting
// thread (under the host's lock), or, for a queued host, waits until WaitForRow runs it on the
// test's thread as the window's event loop would.

#include "exec/tool_runs.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>

namespace trimora_test {

class RecordingRunHost : public trimora::TRunHost {
  public:
    explicit RecordingRunHost(bool queued = false) : queued_(queued) {}
    void Post(std::function<void()> fn) override {
        if (queued_) {
            std::lock_guard lock(m_);
            queue_.push_back(std::move(fn));
            cv_.notify_all();
            return;
        }
        // At once, one at a time: work posted while another thread runs posted work is run by
        // that thread, so a poster never waits on a thread that may be joining it.
        {
            std::lock_guard lock(pendingMutex_);
            pending_.push_back(std::move(fn));
        }
        for (;;) {
            if (!m_.try_lock()) return;
            for (;;) {
                std::function<void()> next;
                {
                    std::lock_guard lock(pendingMutex_);
                    if (pending_.empty()) break;
                    next = std::move(pending_.front());
                    pending_.pop_front();
                }
                next();
            }
            cv_.notify_all();
            m_.unlock();
            std::lock_guard lock(pendingMutex_);
            if (pending_.empty()) return;
        }
    }
    void SetGauge(int percent) override { gauges.push_back(percent); }
    void SetStatusText(const std::string& text) override { statuses.push_back(text); }
    void SetMessageRow(const std::string& caption) override { messageRow = caption; }
    void SetRowStatus(int id, const std::string& status, const std::string& path,
                      int64_t size) override {
        rows[id] = last = {status, path, size};
        lastId = id;
    }
    void ClearMemo() override { memo.clear(); }
    void AppendMemo(const std::string& line) override { memo.push_back(line); }
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    void BeginRunControls() override { ++begun; }
    void EndRunControls() override { ++ended; }

    // Until row `id` (any row for -1) is DONE or FAILED and no posted work waits.
    bool WaitForRow(int id = -1, std::chrono::seconds timeout = std::chrono::seconds(10)) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            std::function<void()> fn;
            {
                std::unique_lock lock(m_);
                if (queue_.empty() && Final(id)) return true;
                if (!cv_.wait_until(lock, deadline, [&] { return !queue_.empty() || Final(id); }))
                    return false;
                if (queue_.empty()) continue;
                fn = std::move(queue_.front());
                queue_.pop_front();
            }
            fn();
        }
    }

    struct Row {
        std::string status, path;
        int64_t size = -1;
    };
    std::map<int, Row> rows;
    Row last; // the row written last, of id lastId
    int lastId = 0, begun = 0, ended = 0;
    std::vector<std::string> statuses, memo, messages;
    std::vector<int> gauges;
    std::string messageRow;

  private:
    bool Final(int id) const {
        auto final = [](const Row& r) { return r.status == "DONE" || r.status == "FAILED"; };
        if (id >= 0) return rows.count(id) && final(rows.at(id));
        for (const auto& [key, row] : rows)
            if (final(row)) return true;
        return false;
    }
    const bool queued_;
    std::recursive_mutex m_;
    std::condition_variable_any cv_;
    std::deque<std::function<void()>> queue_;
    std::mutex pendingMutex_;
    std::deque<std::function<void()>> pending_; // immediate host: posted, not yet run
};

} // namespace trimora_test
