#include "app/SingleInstance.h"

#include "core/Paths.h"
#include "platform/FileIO.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QStandardPaths>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

QString runtimeBase()
{
    QString dir = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (dir.isEmpty() || !QDir(dir).exists())
        dir = QDir::tempPath();
    // One instance per support folder (tests and suites run their own).
    const QByteArray key = QCryptographicHash::hash(QDir(Paths::locateSupport()).absolutePath().toUtf8(),
                                                    QCryptographicHash::Sha256)
                               .toHex()
                               .left(16);
    return dir + QStringLiteral("/zelvan-") + QString::number(::getuid()) + u'-' + QString::fromLatin1(key);
}

// Plain sockets: this runs before any application object exists. The first
// instance may hold the lock but not listen yet: ask again for a while.
bool handOver(const QStringList& messages)
{
    const QByteArray path = QFile::encodeName(SingleInstance::socketPath());
    const QByteArray data = (messages.join(u'\n') + u'\n').toUtf8();
    sockaddr_un addr = {};
    addr.sun_family = AF_UNIX;
    if (size_t(path.size()) >= sizeof addr.sun_path)
        return false;
    std::memcpy(addr.sun_path, path.constData(), size_t(path.size()));
    for (int attempt = 0; attempt < 100; ++attempt) {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0)
            return false;
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0) {
            const bool ok = FileIO::writeAll(fd, data.constData(), size_t(data.size()));
            ::close(fd);
            return ok;
        }
        ::close(fd);
        ::usleep(100'000);
    }
    return false;
}

} // namespace

QString SingleInstance::lockPath()
{
    return runtimeBase() + QStringLiteral(".lock");
}

QString SingleInstance::socketPath()
{
    return runtimeBase() + QStringLiteral(".sock");
}

std::unique_ptr<SingleInstance> SingleInstance::claim(const QStringList& messages)
{
    std::unique_ptr<SingleInstance> self(new SingleInstance);
    self->lock_ = std::make_unique<QLockFile>(lockPath());
    // Held for the whole run: never stale by age. A lock whose process died is
    // still taken over.
    self->lock_->setStaleLockTime(0);
    if (!self->lock_->tryLock(0)) {
        handOver(messages);
        return nullptr;
    }
    // Without a socket this is still the one instance; it only cannot hear later ones.
    self->listen();
    return self;
}

bool SingleInstance::listen()
{
    // The lock is ours, so a socket file left behind belongs to a dead instance.
    QLocalServer::removeServer(socketPath());
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_.listen(socketPath()))
        return false;
    connect(&server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = server_.nextPendingConnection()) {
            auto buffer = std::make_shared<QByteArray>();
            auto deliver = [this, socket, buffer] {
                buffer->append(socket->readAll());
                qsizetype nl;
                while ((nl = buffer->indexOf('\n')) >= 0) {
                    const QString line = QString::fromUtf8(buffer->left(nl)).trimmed();
                    buffer->remove(0, nl + 1);
                    if (!line.isEmpty() && onMessage)
                        onMessage(line);
                }
            };
            connect(socket, &QLocalSocket::readyRead, this, deliver);
            connect(socket, &QLocalSocket::disconnected, this, [socket, deliver] {
                deliver();
                socket->deleteLater();
            });
            if (socket->bytesAvailable() > 0)
                deliver();
        }
    });
    return true;
}
