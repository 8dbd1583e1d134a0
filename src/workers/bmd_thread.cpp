#include "workers/bmd_thread.h"

#include <QMetaObject>
#include <chrono>

namespace trimora {

TBMDThread::TBMDThread(QObject* parent)
    : QObject(parent), alive_(std::make_shared<std::atomic<bool>>(true)) {}

TBMDThread::~TBMDThread() {
    *alive_ = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        terminated_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void TBMDThread::StartWorker() {
    if (running_) return;
    running_ = true;
    terminated_ = false;
    if (OnStart) OnStart(*this);
    if (thread_.joinable()) thread_.join();
    auto alive = alive_;
    thread_ = std::thread([this, alive] {
        if (OnExecute && !terminated_) OnExecute(*this);
        QMetaObject::invokeMethod(
            this,
            [this, alive] {
                if (*alive) Finished();
            },
            Qt::QueuedConnection);
    });
}

void TBMDThread::Finished() {
    if (thread_.joinable()) thread_.join();
    running_ = false;
}

void TBMDThread::StopWorker() {
    if (!running_) return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        terminated_ = true;
    }
    wake_.notify_all();
}

void TBMDThread::Synchronize(const std::function<void()>& fn) {
    if (terminated_) return;
    struct Call {
        std::function<void()> fn;
        bool done = false;
        bool skipped = false;
    };
    auto call = std::make_shared<Call>();
    call->fn = fn;
    QMetaObject::invokeMethod(
        this,
        [this, call] {
            {
                std::lock_guard<std::mutex> lock(mutex_);
                if (call->skipped) return;
            }
            call->fn();
            {
                std::lock_guard<std::mutex> lock(mutex_);
                call->done = true;
            }
            wake_.notify_all();
        },
        Qt::QueuedConnection);
    std::unique_lock<std::mutex> lock(mutex_);
    wake_.wait(lock, [&] { return call->done || terminated_; });
    if (!call->done) call->skipped = true;
}

bool TBMDThread::Wait(int ms) {
    std::unique_lock<std::mutex> lock(mutex_);
    return !wake_.wait_for(lock, std::chrono::milliseconds(ms), [&] { return terminated_.load(); });
}

} // namespace trimora
