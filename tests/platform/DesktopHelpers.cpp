#include "DesktopHelpers.h"

#include "platform/MediaClock.h"

bool run(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    return p.waitForFinished(20000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

QString makeTone(const QString& dir, double seconds, int hz)
{
    const QString path = QStringLiteral("%1/tone-%2.wav").arg(dir).arg(hz);
    run(QStringLiteral("sox"),
        {"-n", "-r", "48000", "-c", "1", "-b", "16", path, "synth", QString::number(seconds), "sine",
         QString::number(hz), "vol", "0.5"});
    return path;
}

Played play(const QString& file, const QString& sink)
{
    Played p;
    p.startedAt = MediaClock::now();
    p.ok = run(QStringLiteral("paplay"), {QStringLiteral("--device=") + sink, file});
    return p;
}

PrivateX::PrivateX(const QString& size)
{
    process_.start(QStringLiteral("Xvfb"), {"-displayfd", "1", "-screen", "0", size, "-nolisten", "tcp", "-noreset"});
    if (!process_.waitForStarted(5000))
        return;
    QByteArray number;
    while (!number.contains('\n') && process_.waitForReadyRead(10000))
        number += process_.readAllStandardOutput();
    if (number.trimmed().isEmpty())
        return;
    display_ = QStringLiteral(":") + QString::fromLatin1(number.trimmed());
}

PrivateX::~PrivateX()
{
    kill();
}

void PrivateX::kill()
{
    if (process_.state() != QProcess::NotRunning) {
        process_.kill();
        process_.waitForFinished(5000);
    }
}
