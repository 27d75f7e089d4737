#pragma once

#include "core/Clock.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimeZone>
#include <functional>
#include <mutex>

// A fresh support folder for one test: ZELVAN_SUPPORT_DIR and the paths point at
// it until the object dies; pending log lines are written before it goes.
class TempSupport {
public:
    TempSupport();
    ~TempSupport();
    TempSupport(const TempSupport&) = delete;
    TempSupport& operator=(const TempSupport&) = delete;

    QString path() const;
    QString file(const QString& name) const;

private:
    QTemporaryDir dir_;
    QByteArray previousEnv_;
    bool hadEnv_ = false;
};

// A keyring service of the test's own while the object lives, so that test
// programs running side by side never sign each other out; its account key goes
// with it.
class PrivateKeyring {
public:
    PrivateKeyring();
    ~PrivateKeyring();
    PrivateKeyring(const PrivateKeyring&) = delete;
    PrivateKeyring& operator=(const PrivateKeyring&) = delete;

    QString name() const { return name_; }

private:
    QString previous_;
    QString name_;
};

// A clock that stands still until the test moves it. It is the current clock
// while it lives.
class FixedClock final : public Clock {
public:
    explicit FixedClock(const QDateTime& start = QDateTime(QDate(2025, 1, 31), QTime(8, 5, 3), QTimeZone::utc()),
                        double uptime = 1000.0);
    ~FixedClock() override;

    QDateTime now() const override;
    double uptime() const override;

    void set(const QDateTime& now);
    // Moves both the wall clock and the monotonic clock forward.
    void advance(double seconds);

private:
    mutable std::mutex mutex_;
    QDateTime now_;
    double uptime_;
};

// Polls `done` (running the event loop meanwhile) until it holds or `seconds` pass
// on the real monotonic clock; whether it holds.
bool waitFor(const std::function<bool()>& done, double seconds = 15);

QByteArray readFile(const QString& path);
// The log's messages so far, without their time stamps.
QStringList logLines();
void writeFile(const QString& path, const QByteArray& data);
// The permission bits of a file or folder (0700, 0600 …), or -1.
int fileMode(const QString& path);
// Whether a shared library whose file name holds `name` is loaded in the
// process `pid` (this one by default).
bool libraryLoaded(const QByteArray& name, qint64 pid = 0);

// A mono 48 kHz AAC track, as the recorder writes them, of a sine at `hz`.
void writeToneTrack(const QString& path, int hz, double seconds);
// The share of the audio's power that lies at `hz`, from 0 to about 1: a pure
// tone gives about 1, each tone of an even mix of two about a half.
double toneShare(const std::string& audio, int hz);
