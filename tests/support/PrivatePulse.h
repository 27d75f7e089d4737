#pragma once

#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QTemporaryDir>
#include <csignal>

// A sound server of the test's own with one null source ("first") as the default
// input and one null sink ("out"), so a test can pause or kill it without
// touching the desktop's server that other tests share.
class PrivatePulse {
public:
    PrivatePulse()
    {
        const QString script = dir_.filePath("server.pa");
        QFile f(script);
        if (!f.open(QIODevice::WriteOnly))
            return;
        f.write(QStringLiteral("load-module module-native-protocol-unix auth-anonymous=1 socket=%1\n"
                               "load-module module-null-source source_name=first\n"
                               "load-module module-null-sink sink_name=out\n"
                               "set-default-source first\n")
                    .arg(socket())
                    .toUtf8());
        f.close();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("PULSE_RUNTIME_PATH", dir_.filePath("runtime"));
        env.insert("PULSE_STATE_PATH", dir_.filePath("state"));
        // The desktop's server holds the bus name a second one would want.
        env.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + dir_.filePath("no-bus"));
        process_.setProcessEnvironment(env);
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start("pulseaudio",
                       {"-n", "--daemonize=no", "--use-pid-file=no", "--system=no", "--realtime=no",
                        "--disallow-exit", "--exit-idle-time=-1", "--log-target=stderr", "--file=" + script});
        process_.waitForStarted(10000);
    }
    ~PrivatePulse()
    {
        resume();
        kill();
    }

    bool started() const { return process_.state() != QProcess::NotRunning; }
    QString socket() const { return dir_.filePath("native"); }
    // What PULSE_SERVER or a client's server argument takes.
    QString address() const { return QStringLiteral("unix:") + socket(); }
    void pause() { ::kill(pid_t(process_.processId()), SIGSTOP); }
    void resume() { ::kill(pid_t(process_.processId()), SIGCONT); }
    void kill()
    {
        if (process_.state() == QProcess::NotRunning)
            return;
        process_.kill();
        process_.waitForFinished(5000);
    }

private:
    QTemporaryDir dir_;
    QProcess process_;
};
