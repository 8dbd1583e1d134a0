// A GUI thread stand-in: work posted from other threads runs on the test's thread when it pumps.
#pragma once

#include <chrono>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace trimora_test {

struct GuiQueue {
    std::mutex m;
    std::deque<std::function<void()>> queued;
    std::function<void(std::function<void()>)> Post() {
        return [this](std::function<void()> work) {
            std::lock_guard lock(m);
            queued.push_back(std::move(work));
        };
    }
    // Runs what is queued every 5 ms until done() holds, for at most ms; says whether it held.
    bool PumpUntil(const std::function<bool()>& done, int ms = 5000) {
        for (int i = 0; i <= ms / 5 && !done(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            std::unique_lock lock(m);
            auto batch = std::move(queued);
            queued.clear();
            lock.unlock();
            for (auto& work : batch)
                work();
        }
        return done();
    }
};

} // namespace trimora_test
