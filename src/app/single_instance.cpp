#include "app/single_instance.h"

#include <QDir>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace trimora {

SingleInstanceLock::~SingleInstanceLock() {
    if (fd_ >= 0) ::close(fd_);
}

bool SingleInstanceLock::Acquire(const std::string& folder, const std::string& name) {
    QDir().mkpath(QString::fromStdString(folder));
    std::string path = folder;
    if (!path.empty() && path.back() != '/') path += '/';
    path += name + ".lock";
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return true;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        int err = errno;
        ::close(fd);
        return err != EWOULDBLOCK;
    }
    fd_ = fd;
    return true;
}

} // namespace trimora
