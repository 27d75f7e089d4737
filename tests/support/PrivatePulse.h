#pragma once

#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QTemporaryDir>
#include <QThread>
#include <csignal>

// A sound server of the test's own, so a test can point its default source
// elsewhere, pause it or kill it without touching the desktop's server that other
// tests share. Unless told otherwise it has one null source ("first") as the
// default input and one null sink ("out").
class PrivatePulse {
public:
    static inline const QString twoDevices = QStringLiteral("load-module module-null-source source_name=first\n"
                                                            "load-module module-null-sink sink_name=out\n"
                                                            "set-default-source first\n");

    // `modules`: the server's start script after its socket, a command a line.
    explicit PrivatePulse(const QString& modules = twoDevices)
    {
        const QString script = dir_.filePath("server.pa");
        QFile f(script);
        if (!f.open(QIODevice::WriteOnly))
            return;
        f.write((QStringLiteral("load-module module-native-protocol-unix auth-anonymous=1 socket=%1\n").arg(socket())
                 + modules)
                    .toUtf8());
        f.close();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("PULSE_RUNTIME_PATH", dir_.filePath("runtime"));
        env.insert("PULSE_STATE_PATH", dir_.filePath("state"));
        env.remove("PULSE_SERVER");
        // The desktop's server holds the bus name a second one would want.
        env.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + dir_.filePath("no-bus"));
        process_.setProcessEnvironment(env);
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start("pulseaudio", {"-n", "--daemonize=no", "--use-pid-file=no", "--system=no", "--realtime=no",
                                      "--high-priority=no", "--disallow-exit", "--exit-idle-time=-1",
                                      "--log-target=stderr", "--log-level=error", "--file=" + script});
        if (!process_.waitForStarted(10000))
            return;
        // Ready once it answers.
        for (int i = 0; i < 300; ++i) {
            QProcess info;
            info.start("pactl", {"--server=" + address(), "info"});
            if (info.waitForFinished(10000) && info.exitStatus() == QProcess::NormalExit && info.exitCode() == 0) {
                ready_ = true;
                return;
            }
            QThread::msleep(100);
        }
    }
    ~PrivatePulse()
    {
        resume();
        kill();
    }

    bool started() const { return ready_ && process_.state() != QProcess::NotRunning; }
    QString socket() const { return dir_.filePath("native"); }
    // What PULSE_SERVER or a client's server argument takes.
    QString address() const { return QStringLiteral("unix:") + socket(); }
    // A server that does not answer, and one that answers again.
    void pause() { ::kill(pid_t(process_.processId()), SIGSTOP); }
    void resume() { ::kill(pid_t(process_.processId()), SIGCONT); }
    void kill()
    {
        if (process_.state() == QProcess::NotRunning)
            return;
        process_.kill();
        process_.waitForFinished(10000);
    }

private:
    // Short: a socket's path has little room.
    QTemporaryDir dir_{"/tmp/zelvan-pulse-XXXXXX"};
    QProcess process_;
    bool ready_ = false;
};
