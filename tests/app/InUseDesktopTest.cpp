// The real application on the private desktop, used as a person would use it:
// signed in to the fake platform, its popover opened from the tray, its windows
// open while it quits, its keys pressed and its wheel turned through XTest.
#include "../platform/DesktopHelpers.h"
#include "core/Accounts.h"
#include "core/Settings.h"
#include "core/SignIn.h"
#include "core/WebPlatform.h"
#include "session/SessionLock.h"
#include "support/BoardSite.h"
#include "support/FakePlatform.h"
#include "support/FakeWebPlatform.h"
#include "support/JourneyDriver.h"
#include "support/TraySlash.h"
#include "ui/SettingsView.h"
#include "ui/SystemLook.h"

#include <QAbstractButton>
#include <QGuiApplication>
#include <QPixmap>
#include <QProcess>
#include <QThread>
#include <QWidget>
#include <QScreen>
#include <QUuid>
#include <map>
#include <gtest/gtest.h>

namespace {

// The options a settings window could change, as the suite's file holds them.
std::string options(const QString& suite)
{
    auto store = Settings::suite(suite);
    std::string out;
    for (Settings::Key key :
         {Settings::Key::wrapMinute, Settings::Key::workoutMinute, Settings::Key::breakMinutes,
          Settings::Key::workdaySlug, Settings::Key::wrapOn, Settings::Key::workoutOn, Settings::Key::breakReminders,
          Settings::Key::offerCalls, Settings::Key::autoRecordCalls, Settings::Key::liveTips, Settings::Key::autoPin,
          Settings::Key::liveHearing, Settings::Key::trackWorkday, Settings::Key::includeTitles,
          Settings::Key::autoFileTeamCalls})
        out += QString("%1=%2 ").arg(Settings::name(key), store->value(Settings::name(key)).toString()).toStdString();
    return out;
}

// Signed in on the fake platform with two projects, up and showing its icon.
class InUse : public testing::Test {
protected:
    TempSupport support;
    FakePlatform platform;
    std::unique_ptr<FakeWebPlatform> web;
    const QString suite = "in-use-" + QUuid::createUuid().toString(QUuid::WithoutBraces);
    PrivateKeyring keyring;
    JourneyDriver app{ZELVAN_EXECUTABLE};
    QRect icon;

    void TearDown() override
    {
        app.stop();
        qunsetenv("ZELVAN_KEYCHAIN_SERVICE");
        Settings::removeSuite(suite);
    }

    void signIn()
    {
        FakeWebPlatform::Options o;
        o.projects = {{"alpha", "Alpha", "owner"}, {"beta", "Beta", "member"}};
        web = std::make_unique<FakeWebPlatform>(platform, o);
        platform.start();
        qputenv("ZELVAN_KEYCHAIN_SERVICE", keyring.name().toUtf8());
        Settings settings(Settings::suite(suite));
        settings.setPlatformBase(platform.base());
        Accounts accounts(settings);
        ASSERT_TRUE(accounts.signIn(QString::fromStdString(o.key), "ada@example.com", "Ada Lovelace"));
        accounts.apply({"ada@example.com", "Ada Lovelace", std::nullopt},
                       {WebPlatform::project(platform.base(), "alpha", "Alpha", "owner"),
                        WebPlatform::project(platform.base(), "beta", "Beta", "member")});
    }

    void start(const QStringList& args = {})
    {
        ASSERT_TRUE(slashOnScreen().isEmpty()) << "another slash is already in the tray";
        ASSERT_TRUE(app.launch({.suite = suite, .keyringService = keyring.name(), .args = args})) << err();
        ASSERT_TRUE(waitFor([this] { return !(icon = slashOnScreen()).isEmpty(); }, 60)) << "no icon in the tray";
    }

    std::string err() { return app.log().toStdString(); }

    // A click on the tray icon; the popover's frame once it shows.
    QRect openPopover()
    {
        QRect frame;
        waitFor(
            [&] {
                if (!(frame = windowOnScreen("Zelvan")).isEmpty())
                    return true;
                JourneyDriver::click(icon.center());
                return waitFor([&] { return !(frame = windowOnScreen("Zelvan")).isEmpty(); }, 5);
            },
            60);
        return frame;
    }

    // "End my day…" from the popover's footer, chosen with the keyboard.
    void openEndOfDay()
    {
        ASSERT_FALSE(openPopover().isEmpty()) << "no popover\n" << err();
        // Up from nothing selects the last row (Quit); three more reach "End my day…".
        run("xdotool", {"key", "Up", "Up", "Up", "Up", "Return"});
        ASSERT_TRUE(waitFor([] { return !windowOnScreen("End my day").isEmpty(); }, 60))
            << "no end-of-day window\n"
            << err();
    }

    void endsCleanly()
    {
        ASSERT_TRUE(app.ended(120)) << err();
        EXPECT_EQ(app.exitCode(), 0) << err();
        EXPECT_FALSE(app.log().contains("corrupt")) << err();
    }
};

} // namespace

TEST_F(InUse, SigtermWithTheEndOfDayWindowOpenEndsCleanly)
{
    signIn();
    start();
    openEndOfDay();
    app.terminate();
    endsCleanly();
}

TEST_F(InUse, CtrlQWithTheEndOfDayWindowOpenEndsCleanly)
{
    signIn();
    start();
    openEndOfDay();
    ASSERT_FALSE(openPopover().isEmpty()) << "no popover\n" << err();
    run("xdotool", {"key", "ctrl+q"});
    endsCleanly();
}

// Ten notches down and up at points all over the settings window: the page may
// scroll, no option moves.
TEST_F(InUse, TheWheelOverTheSettingsWindowChangesNoSetting)
{
    signIn();
    start();
    ASSERT_FALSE(openPopover().isEmpty()) << "no popover\n" << err();
    run("xdotool", {"key", "ctrl+comma"});
    QRect window;
    ASSERT_TRUE(waitFor([&] { return !(window = windowOnScreen("Zelvan Settings")).isEmpty(); }, 60))
        << "no settings window\n"
        << err();
    const auto before = options(suite);
    for (int y = window.top() + 20; y < window.bottom() - 20; y += 24) {
        for (int x : {window.left() + 150, window.left() + 280, window.left() + 420}) {
            run("xdotool", {"mousemove", QString::number(x), QString::number(y)});
            run("xdotool", {"click", "--repeat", "10", "--delay", "5", "5"});
            run("xdotool", {"click", "--repeat", "10", "--delay", "5", "4"});
        }
    }
    JourneyDriver::spend(1);
    EXPECT_EQ(options(suite), before);
    EXPECT_TRUE(app.running());
}

// The signed-in popover stands over the tray inside the screen, and the last
// row of its footer, Quit, answers a click.
TEST_F(InUse, ThePopoverFitsTheScreenAndItsQuitRowQuits)
{
    signIn();
    start();
    const QRect frame = openPopover();
    ASSERT_FALSE(frame.isEmpty()) << "no popover\n" << err();
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const QRect card = frame.adjusted(22, 22, -22, -22);
    EXPECT_TRUE(screen.contains(card)) << card.y() << " " << card.height();
    if (const QString kept = qEnvironmentVariable("ZELVAN_SNAPSHOT_DIR"); !kept.isEmpty()) {
        JourneyDriver::spend(1); // it springs in
        QGuiApplication::primaryScreen()->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height())
            .save(kept + "/popover-signed-in.png");
    }
    // Quit is the footer's last row: 14 of padding under it, about 30 high.
    ASSERT_TRUE(JourneyDriver::click({card.center().x(), card.bottom() - 14 - 12}));
    endsCleanly();
}

// The global key the popover shows beside "Kick in" works while it is open.
TEST_F(InUse, CtrlAltRWithThePopoverOpenStartsARecording)
{
    signIn();
    start();
    ASSERT_FALSE(openPopover().isEmpty()) << "no popover\n" << err();
    const QString dir = app.kickIn();
    ASSERT_FALSE(dir.isEmpty()) << "no recording started\n" << err();
    EXPECT_TRUE(app.logged("[Zelvan] recording started: ")) << err();
    ASSERT_TRUE(app.wrapUp());
    EXPECT_TRUE(waitFor([&] { return !SessionLock::isLocked(dir); }, 120)) << "the recording did not stop\n" << err();
}

// The board open at quit: the app ends cleanly and the board's next open finds
// the place and size the user gave it.
TEST_F(InUse, QuittingWithTheBoardOpenKeepsItsPlace)
{
    signIn();
    start();
    ASSERT_FALSE(openPopover().isEmpty()) << "no popover\n" << err();
    run("xdotool", {"key", "ctrl+o"});
    // The board: the one large window of ours.
    QString board;
    ASSERT_TRUE(waitFor(
        [&] {
            for (const ShownWindow& w : visibleWindows(app.pid()))
                if (w.frame.width() >= 720) {
                    board = w.id;
                    return true;
                }
            return false;
        },
        120))
        << "no board window\n"
        << err();
    run("xdotool", {"windowsize", board, "900", "600"});
    run("xdotool", {"windowmove", board, "40", "30"});
    QThread::msleep(1500);
    app.terminate();
    endsCleanly();
    const QByteArray geometry = Settings::suite(suite)->value("ZelvanBoard/geometry").toByteArray();
    ASSERT_FALSE(geometry.isEmpty()) << err();
    QWidget probe;
    ASSERT_TRUE(probe.restoreGeometry(geometry));
    EXPECT_EQ(probe.size(), QSize(900, 600));
}

// Signed in, the board opened in one run; in the next the user signs out from
// the settings window without opening the board: the server hears the sign-out
// and the board, opened after it, sends no trace of the old session.
TEST_F(InUse, SignOutEndsTheBoardsSessionWithoutOpeningIt)
{
    signIn();
    BoardSite site(platform, {.key = FakeWebPlatform::Options().key});
    start();
    ASSERT_FALSE(openPopover().isEmpty()) << "no popover\n" << err();
    run("xdotool", {"key", "ctrl+o"});
    ASSERT_TRUE(waitFor([&] { return site.liveSessions().size() == 1; }, 120)) << err();
    const std::string session = *site.liveSessions().begin();
    app.terminate();
    endsCleanly();

    start();
    ASSERT_FALSE(openPopover().isEmpty()) << "no popover\n" << err();
    run("xdotool", {"key", "ctrl+comma"});
    ASSERT_TRUE(waitFor([&] { return !windowOnScreen("Zelvan Settings").isEmpty(); }, 60)) << err();
    // The link's place in the window: the same view laid out here, over the same settings.
    QPoint link;
    {
        Settings settings(Settings::suite(suite));
        Accounts accounts(settings);
        SignIn signIn;
        SettingsView view(accounts, signIn, {}, {});
        view.setAttribute(Qt::WA_DontShowOnScreen);
        view.show();
        SystemLook::relayout(&view);
        for (QAbstractButton* b : view.findChildren<QAbstractButton*>())
            if (b->text() == "Sign out")
                link = b->mapTo(&view, b->rect().center());
    }
    ASSERT_FALSE(link.isNull());
    QProcess find;
    find.start("xdotool", {"search", "--onlyvisible", "--name", "^Zelvan Settings$"});
    ASSERT_TRUE(find.waitForFinished(20'000));
    const QString id = QString::fromUtf8(find.readAllStandardOutput()).split('\n').first().trimmed();
    ASSERT_FALSE(id.isEmpty());
    ASSERT_TRUE(waitFor(
        [&] {
            run("xdotool", {"mousemove", "--window", id, QString::number(link.x()), QString::number(link.y()), "click",
                            "1"});
            return waitFor([&] { return !site.signouts().empty(); }, 5);
        },
        60))
        << err();
    EXPECT_EQ(site.signouts(), std::vector<std::string>{session});
    const size_t before = platform.requests().size();

    // The board, opened now, carries no cookie of the old session.
    ASSERT_FALSE(openPopover().isEmpty()) << "no popover\n" << err();
    run("xdotool", {"key", "ctrl+o"});
    ASSERT_TRUE(waitFor(
        [&] {
            const auto requests = platform.requests();
            for (size_t i = before; i < requests.size(); ++i)
                if (requests[i].path == "/app" || requests[i].path == "/signin")
                    return true;
            return false;
        },
        120))
        << err();
    const auto requests = platform.requests();
    for (size_t i = before; i < requests.size(); ++i) {
        const auto& r = requests[i];
        const auto cookie = r.headers.find("Cookie");
        if (cookie != r.headers.end()) {
            EXPECT_EQ(cookie->second.find(session), std::string::npos) << r.path;
        }
    }
}
