// The popover on the private desktop, driven with XTest through xdotool: it
// opens next to its anchor, Escape and a click elsewhere close it, and the
// arrows and Return run the selected action.
#include "MenuFixtures.h"
#include "menu/KeyPanel.h"
#include "menu/PopoverController.h"
#include "menu/PopoverView.h"
#include "platform/DesktopHelpers.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QScreen>
#include <QSettings>
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

} // namespace
