// The real application on the private desktop: its icon in the tray host and
// its kick-in key pressed through XTest.
#include "../platform/DesktopHelpers.h"
#include "core/Paths.h"
#include "session/Session.h"
#include "session/SessionLock.h"

#include <QDir>
#include <QColor>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QProcess>
#include <QScreen>
#include <csignal>
#include <gtest/gtest.h>

namespace {

// Where the slash's stroke for a light tray (#4A8A00) shows on the lower half of
// the screen, where the tray host sits; empty when there are too few pixels.
QRect slashOnScreen()
{
    const QRect lower = QGuiApplication::primaryScreen()->geometry().adjusted(0, 540, 0, 0);
    const QImage shot =
        QGuiApplication::primaryScreen()->grabWindow(0, lower.x(), lower.y(), lower.width(), lower.height()).toImage();
    int n = 0;
    QRect box;
    for (int y = 0; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x) {
            const QColor c = shot.pixelColor(x, y);
            if (std::abs(c.red() - 0x4a) <= 8 && std::abs(c.green() - 0x8a) <= 8 && c.blue() <= 8) {
                box |= QRect(lower.x() + x, lower.y() + y, 1, 1);
                ++n;
            }
        }
    return n >= 20 ? box : QRect();
}

QStringList sessionFolders()
{
    return QDir(Paths::recordings()).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
}

} // namespace

TEST(AppDesktop, TheTrayIconShowsAndCtrlAltRStartsAndStopsARecording)
{
    TempSupport support;
    ASSERT_TRUE(slashOnScreen().isEmpty()) << "another slash is already in the tray";

    QProcess app;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("ZELVAN_DEFAULTS_SUITE", "app-desktop-test");
    app.setProcessEnvironment(env);
    app.setReadChannel(QProcess::StandardError);
    app.start(ZELVAN_EXECUTABLE, {});
    ASSERT_TRUE(app.waitForStarted(30'000));
    QByteArray err;
    const auto logged = [&](const QByteArray& text) {
        return waitFor(
                   [&] {
                       err += app.readAllStandardError();
                       return err.contains(text) || app.state() == QProcess::NotRunning;
                   },
                   120)
            && err.contains(text);
    };
    ASSERT_TRUE(logged("[Zelvan] launched ")) << err.toStdString();
    ASSERT_TRUE(waitFor([] { return !slashOnScreen().isEmpty(); }, 60)) << "no icon in the tray";

    ASSERT_TRUE(run("xdotool", {"key", "ctrl+alt+r"}));
    QString dir;
    ASSERT_TRUE(waitFor(
        [&] {
            const QStringList found = sessionFolders();
            dir = found.isEmpty() ? QString() : Paths::recordings() + '/' + found.first();
            return !dir.isEmpty() && SessionLock::isLocked(dir);
        },
        120))
        << "no recording started\n"
        << err.toStdString();
    EXPECT_EQ(app.state(), QProcess::Running);

    ASSERT_TRUE(run("xdotool", {"key", "ctrl+alt+r"}));
    ASSERT_TRUE(waitFor([&] { return !SessionLock::isLocked(dir); }, 120)) << "the recording did not stop";
    auto session = Session::load(dir);
    ASSERT_TRUE(session);
    EXPECT_TRUE(session->meta().ended);
    EXPECT_FALSE(session->meta().lastError);
    EXPECT_EQ(sessionFolders().size(), 1);

    ::kill(pid_t(app.processId()), SIGTERM);
    ASSERT_TRUE(app.waitForFinished(60'000));
    EXPECT_EQ(app.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(app.exitCode(), 0);
    // Its tray icon went with it.
    EXPECT_TRUE(waitFor([] { return slashOnScreen().isEmpty(); }, 60));
}
