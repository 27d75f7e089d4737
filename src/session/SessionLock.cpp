#include "session/SessionLock.h"

#include <QFile>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#include <utility>

namespace {

int openDir(const QString& dir)
{
    return ::open(QFile::encodeName(dir).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

} // namespace

SessionLock::~SessionLock()
{
    release();
}

SessionLock::SessionLock(SessionLock&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

SessionLock& SessionLock::operator=(SessionLock&& other) noexcept
{
    if (this != &other) {
        release();
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

bool SessionLock::acquire(const QString& dir)
{
    release();
    const int fd = openDir(dir);
    if (fd < 0)
        return false;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    fd_ = fd;
    return true;
}

void SessionLock::release()
{
    if (fd_ >= 0) {
        // Closing the descriptor drops the lock.
        ::close(fd_);
        fd_ = -1;
    }
}

bool SessionLock::isLocked(const QString& dir)
{
    const int fd = openDir(dir);
    if (fd < 0)
        return false;
    // A separate open file description: it conflicts with a holder in this process too.
    const bool locked = ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return locked;
}
