// The popover on the private desktop, driven with XTest through xdotool: it
// opens next to its anchor, Escape and a click elsewhere close it, and the
// arrows and Return run the selected action.
#include "MenuFixtures.h"
#include "menu/KeyPanel.h"
#include "menu/PopoverController.h"
#include "menu/PopoverView.h"
#include "platform/DesktopHelpers.h"
#include "support/TraySlash.h"
#include "ui/StatusIcon.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QScreen>
#include <QSettings>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QWidget>
#include <QWindow>

namespace {

bool xdotool(const QStringList& args)
{
    return run(QStringLiteral("xdotool"), args);
}

class PopoverDesktop : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Something of ours to click beside the popover.
        other.setWindowTitle("elsewhere");
        other.setGeometry(60, 300, 300, 200);
        other.show();
        ASSERT_TRUE(waitFor([&] { return other.windowHandle() && other.windowHandle()->isExposed(); }, 20));
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        // A tray icon near the top right, as in a top panel.
        anchor = QRect(screen.right() - 200, 2, 24, 24);
    }

    void open()
    {
        c.open(anchor);
        MenuModel& m = c.model();
        m.begin();
        for (const QString& id : idsOf(state))
            m.act(id, [this, id] { log << (c.isOpen() ? id : "closed " + id); });
        m.commit(state);
        ASSERT_TRUE(waitFor([&] { return c.panel()->windowHandle() && c.panel()->windowHandle()->isExposed(); }, 20));
        // The pop-up has the keyboard once it is the application's active pop-up and mapped.
        ASSERT_TRUE(waitFor([&] { return QApplication::activePopupWidget() == c.panel(); }, 20));
    }

    QTemporaryDir dir;
    QSettings store{dir.filePath("defaults.conf"), QSettings::IniFormat};
    PopoverController c{store};
    MenuState state = busyState();
    QStringList log;
    QWidget other;
    QRect anchor;
};

TEST_F(PopoverDesktop, OpensUnderTheAnchorAndEscapeClosesIt)
{
    open();
    const QRect frame = c.panel()->frameGeometry();
    // Centred on the anchor, the card 4 under it (the panel's margin is 22).
    EXPECT_NEAR(frame.center().x(), anchor.center().x(), 2);
    EXPECT_EQ(frame.top(), anchor.bottom() + 1 + 4 - PopoverController::margin);
    EXPECT_TRUE(c.isOpen());

    ASSERT_TRUE(xdotool({"key", "Escape"}));
    EXPECT_TRUE(waitFor([&] { return !c.panel()->isVisible(); }, 20));
    EXPECT_TRUE(log.isEmpty());
}

TEST_F(PopoverDesktop, AClickElsewhereClosesIt)
{
    open();
    ASSERT_TRUE(xdotool({"mousemove", "160", "400", "click", "1"}));
    EXPECT_TRUE(waitFor([&] { return !c.panel()->isVisible(); }, 20));
    EXPECT_FALSE(c.isOpen());
    EXPECT_TRUE(log.isEmpty());
}

TEST_F(PopoverDesktop, ArrowsAndReturnRunTheSelectedAction)
{
    open();
    ASSERT_TRUE(xdotool({"key", "Down", "Down", "Up", "Down"}));
    ASSERT_TRUE(waitFor([&] { return c.model().selected() == QString("board"); }, 20));
    ASSERT_TRUE(xdotool({"key", "Return"}));
    ASSERT_TRUE(waitFor([&] { return !log.isEmpty(); }, 20));
    EXPECT_EQ(log, QStringList({"closed board"}));
    EXPECT_TRUE(waitFor([&] { return !c.panel()->isVisible(); }, 20));
}

// The tray host sits at the bottom right: a click on the icon opens the
// popover standing over it, a second click closes it and does not reopen it.
TEST_F(PopoverDesktop, ATrayClickOpensItOverTheIconAndASecondClosesIt)
{
    ASSERT_TRUE(waitFor([] { return QSystemTrayIcon::isSystemTrayAvailable(); }, 20));
    QSystemTrayIcon tray(StatusIcon::slash());
    int clicks = 0;
    QObject::connect(&tray, &QSystemTrayIcon::activated, [&](QSystemTrayIcon::ActivationReason r) {
        if (r != QSystemTrayIcon::Trigger)
            return;
        ++clicks;
        c.toggle(StatusIcon::popoverAnchor(tray));
    });
    tray.show();
    QRect icon;
    ASSERT_TRUE(waitFor([&] { return !(icon = slashOnScreen()).isEmpty(); }, 30)) << "no tray icon on the screen";

    const QPoint at = icon.center();
    ASSERT_TRUE(xdotool({"mousemove", "--sync", QString::number(at.x()), QString::number(at.y()), "click", "1"}));
    ASSERT_TRUE(waitFor([&] { return c.isOpen() && c.panel()->windowHandle()->isExposed(); }, 20));
    const QRect card = c.panel()->frameGeometry().adjusted(PopoverController::margin, PopoverController::margin,
                                                           -PopoverController::margin, -PopoverController::margin);
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_LE(card.bottom(), icon.top()) << "it stands over the icon";
    EXPECT_GE(card.bottom(), icon.top() - 40) << "close to it";
    EXPECT_TRUE(card.left() <= at.x() || card.right() == area.right() - PopoverController::gap)
        << "over the icon, or kept inside the screen's edge";
    EXPECT_LE(card.right(), area.right() - PopoverController::gap + 1);

    ASSERT_TRUE(xdotool({"click", "1"}));
    EXPECT_TRUE(waitFor([&] { return !c.panel()->isVisible(); }, 20));
    // Give a replayed click time to arrive: it would open the popover again.
    waitFor([] { return false; }, 1);
    EXPECT_FALSE(c.isOpen());
    EXPECT_EQ(clicks, 1) << "the closing click is not passed on to the tray";
}

} // namespace
