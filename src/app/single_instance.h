#pragma once
// One running copy per user: a lock file held with flock for the life of the process. The kernel
// drops the lock when the process ends in any way, so a crash never locks the user out.

#include <string>

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

} // namespace trimora
