#pragma once
// A restartable worker thread owned by an object of the user-interface thread.
//
// StartWorker runs OnStart synchronously on the calling (user-interface) thread, then lets the
// worker run OnExecute on its own thread. The worker reads Terminated() and asks for work on the
// owner's thread with Synchronize, which waits until that work has run (or is skipped once the
// worker is terminated). When the worker has ended, its end is handled on the owner's thread and
// only then can the component be started again. StopWorker never waits.

#include <QObject>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace trimora {

class TBMDThread : public QObject {
  public:
    using Handler = std::function<void(TBMDThread& sender)>;

    explicit TBMDThread(QObject* parent = nullptr);
    ~TBMDThread() override; // terminates and joins a running worker

    Handler OnStart;   // owner's thread, inside StartWorker
    Handler OnExecute; // worker thread; without one the worker ends at once

    // Does nothing while a worker is held.
    void StartWorker();
    // Sets the terminated flag of the held worker; does not wait.
    void StopWorker();
    bool IsWorkerRunning() const { return running_; }

    // For OnExecute.
    bool Terminated() const { return terminated_; }
    // Runs fn on the owner's thread and waits for it; skipped once terminated.
    void Synchronize(const std::function<void()>& fn);
    // Sleeps up to ms milliseconds; returns early (false) once terminated.
    bool Wait(int ms);

  private:
    void Finished();

    std::thread thread_;
    bool running_ = false;
    bool pendingRun_ = false;
    std::atomic<bool> terminated_{false};
    std::mutex mutex_;
    std::condition_variable wake_;
    std::shared_ptr<std::atomic<bool>> alive_;
};

} // namespace trimora
