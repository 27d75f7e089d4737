// The real application on the private desktop: its icon in the tray host and
// its kick-in key pressed through XTest.
#include "../platform/DesktopHelpers.h"
#include "core/Paths.h"
#include "session/Session.h"
#include "session/SessionLock.h"
#include "support/TraySlash.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <csignal>
#include <gtest/gtest.h>

namespace {

QStringList sessionFolders()
{
    return QDir(Paths::recordings()).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
}

// The executable on a throw-away support folder and settings suite, up and
// showing its icon in the tray.
class AppDesktop : public testing::Test {
protected:
    TempSupport support;
    QProcess app;
    QByteArray err;

    void SetUp() override
    {
        ASSERT_TRUE(slashOnScreen().isEmpty()) << "another slash is already in the tray";
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("ZELVAN_DEFAULTS_SUITE", "app-desktop-test");
        app.setProcessEnvironment(env);
        app.setReadChannel(QProcess::StandardError);
        app.start(ZELVAN_EXECUTABLE, {});
        ASSERT_TRUE(app.waitForStarted(30'000));
        ASSERT_TRUE(logged("[Zelvan] launched ")) << err.toStdString();
        ASSERT_TRUE(waitFor([this] { return !(icon = slashOnScreen()).isEmpty(); }, 60)) << "no icon in the tray";
    }

    void TearDown() override
    {
        if (app.state() == QProcess::NotRunning)
            return;
        ::kill(pid_t(app.processId()), SIGTERM);
        app.waitForFinished(60'000);
    }

    // Whether the log on standard error came to hold `text`.
    bool logged(const QByteArray& text)
    {
        waitFor(
            [&] {
                err += app.readAllStandardError();
                return err.contains(text) || app.state() == QProcess::NotRunning;
            },
            120);
        err += app.readAllStandardError();
        return err.contains(text);
    }

    void endsCleanly()
    {
        // Waiting on a process that already ended answers false.
        if (app.state() != QProcess::NotRunning) {
            ASSERT_TRUE(app.waitForFinished(60'000));
        }
        EXPECT_EQ(app.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(app.exitCode(), 0);
        // Its tray icon went with it.
        EXPECT_TRUE(waitFor([] { return slashOnScreen().isEmpty(); }, 60));
    }

    // Presses Ctrl+Alt+R and waits for the recording it starts: the folder of
    // the live session, or nothing.
    QString kickIn()
    {
        if (!run("xdotool", {"key", "ctrl+alt+r"}))
            return {};
        QString dir;
        waitFor(
            [&] {
                const QStringList found = sessionFolders();
                dir = found.isEmpty() ? QString() : Paths::recordings() + '/' + found.first();
                return !dir.isEmpty() && SessionLock::isLocked(dir);
            },
            120);
        return !dir.isEmpty() && SessionLock::isLocked(dir) ? dir : QString();
    }

    QRect icon;
};

} // namespace

TEST_F(AppDesktop, CtrlAltRStartsAndStopsARecording)
{
    const QString dir = kickIn();
    ASSERT_FALSE(dir.isEmpty()) << "no recording started\n" << err.toStdString();
    EXPECT_TRUE(logged("[Zelvan] recording started: " + QFileInfo(dir).fileName().toUtf8())) << err.toStdString();
    EXPECT_EQ(app.state(), QProcess::Running);

    ASSERT_TRUE(run("xdotool", {"key", "ctrl+alt+r"}));
    ASSERT_TRUE(waitFor([&] { return !SessionLock::isLocked(dir); }, 120)) << "the recording did not stop";
    EXPECT_TRUE(logged("[Zelvan] recording stopped: ")) << err.toStdString();
    auto session = Session::load(dir);
    ASSERT_TRUE(session);
    EXPECT_TRUE(session->meta().ended);
    EXPECT_FALSE(session->meta().lastError);
    EXPECT_EQ(sessionFolders().size(), 1);

    ::kill(pid_t(app.processId()), SIGTERM);
    endsCleanly();
}

TEST_F(AppDesktop, AClickOnTheIconOpensThePopoverWhereCtrlQQuits)
{
    const QPoint centre = icon.center();
    ASSERT_TRUE(run("xdotool", {"mousemove", QString::number(centre.x()), QString::number(centre.y()), "click", "1"}));
    // The popover takes the keyboard, so Ctrl+Q reaches it and not the desktop.
    ASSERT_TRUE(waitFor(
        [&] {
            run("xdotool", {"key", "ctrl+q"});
            return app.waitForFinished(1000);
        },
        120))
        << "Ctrl+Q did not quit\n"
        << err.toStdString();
    endsCleanly();
}

TEST_F(AppDesktop, APlainKillDuringARecordingLeavesAFinishedSession)
{
    const QString dir = kickIn();
    ASSERT_FALSE(dir.isEmpty()) << "no recording started\n" << err.toStdString();
    ::kill(pid_t(app.processId()), SIGTERM);
    endsCleanly();
    EXPECT_FALSE(SessionLock::isLocked(dir));
    auto session = Session::load(dir);
    ASSERT_TRUE(session);
    EXPECT_TRUE(session->meta().ended);
    EXPECT_FALSE(session->meta().lastError);
}
