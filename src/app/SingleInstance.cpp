#include "app/SingleInstance.h"

#include "core/Paths.h"
#include "platform/FileIO.h"
#include "platform/SystemLog.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QStandardPaths>
#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// A folder only this user can reach: a real folder (not a link to one), ours,
// closed to everyone else. Names inside it are ours; anywhere else another
// account could have made them first.
bool privateFolder(const QString& path)
{
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid()
        && (st.st_mode & 077) == 0;
}

// Makes the folder (mode 0700) when it is missing; whether it is private now.
bool ownFolder(const QString& path)
{
    if (::mkdir(QFile::encodeName(path).constData(), 0700) != 0 && errno != EEXIST)
        return false;
    return privateFolder(path);
}

QString runtimeFolder()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && privateFolder(runtime))
        return runtime;
    const QString user = QString::number(::getuid());
    const QString shared = QDir::tempPath() + QStringLiteral("/zelvan-") + user;
    if (ownFolder(shared))
        return shared;
    // That name is taken by someone else (or by a link): our cache folder instead.
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    if (!cache.isEmpty() && QDir().mkpath(cache)) {
        const QString own = cache + QStringLiteral("/zelvan-run-") + user;
        if (ownFolder(own))
            return own;
    }
    return {};
}

// Empty when there is no private folder to hold the lock and the socket.
QString runtimeBase()
{
    const QString dir = runtimeFolder();
    if (dir.isEmpty())
        return {};
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
    const QString base = runtimeBase();
    return base.isEmpty() ? QString() : base + QStringLiteral(".lock");
}

QString SingleInstance::socketPath()
{
    const QString base = runtimeBase();
    return base.isEmpty() ? QString() : base + QStringLiteral(".sock");
}

std::unique_ptr<SingleInstance> SingleInstance::claim(const QStringList& messages)
{
    std::unique_ptr<SingleInstance> self(new SingleInstance);
    const QString path = lockPath();
    if (path.isEmpty()) {
        // Better one more instance than a lock or socket another account controls.
        SystemLog::write(QStringLiteral("instance: no private runtime folder; running without the one-instance lock"));
        return self;
    }
    self->lock_ = std::make_unique<QLockFile>(path);
    // Held for the whole run: never stale by age. A lock whose process died is
    // still taken over.
    self->lock_->setStaleLockTime(0);
    if (!self->lock_->tryLock(0)) {
        handOver(messages);
        return nullptr;
    }
    // It names this process and machine: for this user's eyes only.
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
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
