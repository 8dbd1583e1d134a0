#pragma once
// One running copy per user: a lock file held with flock for the life of the process. The kernel
// drops the lock when the process ends in any way, so a crash never locks the user out.

#include <QObject>
#include <functional>
#include <string>

class QLocalServer;

namespace trimora {

class SingleInstanceLock {
  public:
    SingleInstanceLock() = default;
    ~SingleInstanceLock();
    SingleInstanceLock(const SingleInstanceLock&) = delete;
    SingleInstanceLock& operator=(const SingleInstanceLock&) = delete;

    // Takes the lock file `folder`/`name`.lock (the folder is created when missing). False when
    // another process holds it. When the file cannot be made at all the program starts anyway.
    bool Acquire(const std::string& folder, const std::string& name);

  private:
    int fd_ = -1;
};

// The first copy listens on a local socket beside its lock file (only this user may connect);
// a later start hands it the file or folder it was given, or an empty line, and ends.
class InstanceChannel : public QObject {
  public:
    explicit InstanceChannel(std::string socketPath) : path_(std::move(socketPath)) {}
    // The first copy: listens; each message received goes to onMessage. False when it cannot.
    bool Listen(std::function<void(const std::string& path)> onMessage);
    // A later copy: sends path to the first; false when no first copy answered.
    bool Send(const std::string& path) const;

  private:
    std::string path_;
    QLocalServer* server_ = nullptr;
};

} // namespace trimora
