// The real application on the private desktop: its icon in the tray host and
// its kick-in key pressed through XTest.
#include "../platform/DesktopHelpers.h"
#include "session/Session.h"
#include "session/SessionLock.h"
#include "support/JourneyDriver.h"
#include "support/TraySlash.h"
#include "ui/Floating.h"
#include "ui/HUDController.h"

#include <QFileInfo>
#include <QProcess>
#include <map>
#include <gtest/gtest.h>

namespace {

// The executable on a throw-away support folder and settings suite, up and
// showing its icon in the tray.
class AppDesktop : public testing::Test {
protected:
    TempSupport support;
    JourneyDriver app{ZELVAN_EXECUTABLE};

    void SetUp() override
    {
        ASSERT_TRUE(slashOnScreen().isEmpty()) << "another slash is already in the tray";
        ASSERT_TRUE(app.launch({.suite = "app-desktop-test"})) << err();
        ASSERT_TRUE(waitFor([this] { return !(icon = slashOnScreen()).isEmpty(); }, 60)) << "no icon in the tray";
    }

    std::string err() { return app.log().toStdString(); }

    void endsCleanly()
    {
        ASSERT_TRUE(app.ended(60));
        EXPECT_EQ(app.exitCode(), 0);
        // Its tray icon went with it.
        EXPECT_TRUE(waitFor([] { return slashOnScreen().isEmpty(); }, 60));
    }

    QRect icon;
};

// The graphics driver (Mesa, with LLVM) mapped into a process.
bool graphicsDriverIn(qint64 pid)
{
    const QByteArray maps = readFile(QStringLiteral("/proc/%1/maps").arg(pid));
    return maps.contains("_dri.so") || maps.contains("libGLX_mesa") || maps.contains("libLLVM");
}

} // namespace

// Started as a desktop session starts it: the program runs once (no second
// exec to set up a library), FFmpeg is not loaded, and the board's GL context,
// with the graphics driver it loads, waits until the board first opens.
TEST(AppStart, RunsOnceAndMakesNoGLContextUntilTheBoardOpens)
{
    TempSupport support;
    JourneyDriver app{ZELVAN_EXECUTABLE};
    ASSERT_TRUE(slashOnScreen().isEmpty()) << "another slash is already in the tray";
    ASSERT_TRUE(app.launch({.suite = "app-start-test", .unset = {"OMP_THREAD_LIMIT"}})) << app.log().toStdString();
    ASSERT_TRUE(waitFor([] { return !slashOnScreen().isEmpty(); }, 60)) << "no icon in the tray";
    const QByteArray environment = readFile(QStringLiteral("/proc/%1/environ").arg(app.pid()));
    EXPECT_FALSE(environment.contains("OMP_THREAD_LIMIT=")) << "it ran itself again";
    JourneyDriver::spend(2);
    EXPECT_FALSE(graphicsDriverIn(app.pid())) << "a GL context was made at start";
    // FFmpeg, and the hundred libraries it brings, wait for the first recording.
    EXPECT_FALSE(readFile(QStringLiteral("/proc/%1/maps").arg(app.pid())).contains("libavformat"))
        << "FFmpeg was loaded at start";

    // A later start hands the board's link to the running one, which opens it.
    QProcess link;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("ZELVAN_DEFAULTS_SUITE", "app-start-test");
    link.setProcessEnvironment(env);
    link.start(ZELVAN_EXECUTABLE, {"zelvan://board"});
    ASSERT_TRUE(link.waitForFinished(180'000));
    EXPECT_TRUE(app.logged("[Zelvan] deep link ")) << app.log().toStdString();
    EXPECT_TRUE(waitFor([&] { return graphicsDriverIn(app.pid()); }, 60)) << "the board made no GL context";
    EXPECT_TRUE(waitFor([] { return run(QStringLiteral("xdotool"), {"search", "--onlyvisible", "--name", "^Zelvan"}); },
                        60))
        << "no board window";
    EXPECT_TRUE(app.running()) << app.log().toStdString();
    app.terminate();
    ASSERT_TRUE(app.ended(60));
    EXPECT_EQ(app.exitCode(), 0);
}

TEST_F(AppDesktop, CtrlAltRStartsAndStopsARecording)
{
    const QString dir = app.kickIn();
    ASSERT_FALSE(dir.isEmpty()) << "no recording started\n" << err();
    EXPECT_TRUE(app.logged("[Zelvan] recording started: " + QFileInfo(dir).fileName().toUtf8())) << err();
    EXPECT_TRUE(app.running());

    // The recording panel hangs from its corner once the recording is under
    // way (its hearing state set), read from the X server.
    const QPoint corner = HUDController::anchor(std::nullopt, HUDModel::Mode::pill, FloatingPanel::screens());
    QRect panel;
    EXPECT_TRUE(waitFor(
        [&] {
            for (const ShownWindow& w : visibleWindows(app.pid()))
                if (w.frame.x() + w.frame.width() == corner.x() && w.frame.y() == corner.y()
                    && w.frame.height() < 120) {
                    panel = w.frame;
                    return true;
                }
            return false;
        },
        60))
        << "no window of the app's hangs from " << corner.x() << "," << corner.y() << "\n"
        << err();
    JourneyDriver::spend(3); // the hearing state and the first feed entries arrive
    bool still = false;
    for (const ShownWindow& w : visibleWindows(app.pid()))
        still = still || w.frame == panel;
    EXPECT_TRUE(still) << "the panel left its corner";

    ASSERT_TRUE(app.wrapUp());
    ASSERT_TRUE(waitFor([&] { return !SessionLock::isLocked(dir); }, 120)) << "the recording did not stop";
    EXPECT_TRUE(app.logged("[Zelvan] recording stopped: ")) << err();
    auto session = Session::load(dir);
    ASSERT_TRUE(session);
    EXPECT_TRUE(session->meta().ended);
    EXPECT_FALSE(session->meta().lastError);
    EXPECT_EQ(JourneyDriver::sessionFolders().size(), 1);

    app.terminate();
    endsCleanly();
}

TEST_F(AppDesktop, AClickOnTheIconOpensThePopoverWhereCtrlQQuits)
{
    ASSERT_TRUE(JourneyDriver::click(icon.center()));
    // It stands over the icon at the bottom of the screen, not in a corner the
    // tray host's reported rectangle may point at.
    QRect popover;
    ASSERT_TRUE(waitFor([&] { return !(popover = popoverOnScreen()).isEmpty(); }, 60)) << "no popover\n" << err();
    EXPECT_LE(popover.left(), icon.center().x());
    EXPECT_GE(popover.right(), icon.center().x() - 40);
    EXPECT_LT(popover.center().y(), icon.top());
    EXPECT_GE(popover.bottom(), icon.top() - 80);
    // The popover takes the keyboard, so Ctrl+Q reaches it and not the desktop.
    ASSERT_TRUE(waitFor(
        [&] {
            run("xdotool", {"key", "ctrl+q"});
            return app.ended(1);
        },
        120))
        << "Ctrl+Q did not quit\n"
        << err();
    endsCleanly();
}

TEST_F(AppDesktop, APlainKillDuringARecordingLeavesAFinishedSession)
{
    const QString dir = app.kickIn();
    ASSERT_FALSE(dir.isEmpty()) << "no recording started\n" << err();
    app.terminate();
    endsCleanly();
    EXPECT_FALSE(SessionLock::isLocked(dir));
    auto session = Session::load(dir);
    ASSERT_TRUE(session);
    EXPECT_TRUE(session->meta().ended);
    EXPECT_FALSE(session->meta().lastError);
}
