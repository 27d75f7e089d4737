#pragma once

#include <QString>

// An exclusive advisory lock on a session folder (flock on the folder itself),
// held by the recorder for the whole recording. Another process, or another
// holder in this one, sees the folder as live and leaves it alone; the kernel
// drops the lock when the holder dies, so a crashed recording is free to recover.
class SessionLock {
public:
    SessionLock() = default;
    ~SessionLock();
    SessionLock(SessionLock&& other) noexcept;
    SessionLock& operator=(SessionLock&& other) noexcept;
    SessionLock(const SessionLock&) = delete;
    SessionLock& operator=(const SessionLock&) = delete;

    // Takes the lock without waiting; false when someone holds it or the folder
    // cannot be opened.
    bool acquire(const QString& dir);
    void release();
    bool held() const { return fd_ >= 0; }

    // True when someone holds the folder's lock right now.
    static bool isLocked(const QString& dir);

private:
    int fd_ = -1;
};
