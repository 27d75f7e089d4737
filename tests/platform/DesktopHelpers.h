#pragma once

#include "support/TestSupport.h"

#include <QProcess>
#include <QString>
#include <QStringList>
#include <functional>

// Runs a tool of the desktop to its end; false when it fails.
bool run(const QString& program, const QStringList& args);

// A sine tone written with sox as a mono 48 kHz WAV file.
QString makeTone(const QString& dir, double seconds, int hz);

// Plays a file into a PulseAudio sink with paplay to its end and reports, on the
// media clock, when playing was asked for.
struct Played {
    bool ok = false;
    double startedAt = 0;
};
Played play(const QString& file, const QString& sink);

// An X server of the test's own (Xvfb), to take away from under a stream.
class PrivateX {
public:
    explicit PrivateX(const QString& size = QStringLiteral("640x480x24"));
    ~PrivateX();
    bool ok() const { return !display_.isEmpty(); }
    QString display() const { return display_; }
    void kill();

private:
    QProcess process_;
    QString display_;
};
