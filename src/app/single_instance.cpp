#include "app/single_instance.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
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

bool InstanceChannel::Listen(std::function<void(const std::string& path)> onMessage) {
    // Called with the lock held: a socket file left there belongs to a copy that has ended.
    QLocalServer::removeServer(QString::fromStdString(path_));
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_->listen(QString::fromStdString(path_))) return false;
    connect(server_, &QLocalServer::newConnection, this, [this, onMessage] {
        while (QLocalSocket* socket = server_->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, socket, [socket, onMessage] {
                if (!socket->canReadLine()) return;
                QByteArray line = socket->readLine(1 << 16);
                if (line.endsWith('\n')) line.chop(1);
                socket->write("ok\n");
                socket->flush();
                socket->disconnectFromServer();
                onMessage(line.toStdString());
            });
        }
    });
    return true;
}

bool InstanceChannel::Send(const std::string& path) const {
    QLocalSocket socket;
    socket.connectToServer(QString::fromStdString(path_));
    if (!socket.waitForConnected(2000)) return false;
    socket.write(QByteArray::fromStdString(path) + '\n');
    if (!socket.waitForBytesWritten(2000)) return false;
    // The first copy answers once it has the message.
    while (!socket.canReadLine())
        if (!socket.waitForReadyRead(3000)) return false;
    return socket.readLine().startsWith("ok");
}

} // namespace trimora
