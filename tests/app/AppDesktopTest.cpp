// The real application on the private desktop: its icon in the tray host and
// its kick-in key pressed through XTest.
#include "../platform/DesktopHelpers.h"
#include "session/Session.h"
#include "session/SessionLock.h"
#include "support/JourneyDriver.h"
#include "support/TraySlash.h"

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

} // namespace

TEST_F(AppDesktop, CtrlAltRStartsAndStopsARecording)
{
    const QString dir = app.kickIn();
    ASSERT_FALSE(dir.isEmpty()) << "no recording started\n" << err();
    EXPECT_TRUE(app.logged("[Zelvan] recording started: " + QFileInfo(dir).fileName().toUtf8())) << err();
    EXPECT_TRUE(app.running());

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
