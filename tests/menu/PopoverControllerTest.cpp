// Where the panel goes, and what each key does to an open popover.
#include "MenuFixtures.h"
#include "menu/KeyPanel.h"
#include "menu/PopoverController.h"
#include "menu/PopoverRoot.h"
#include "menu/PopoverView.h"
#include "support/TestSupport.h"
#include "ui/HotKeys.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <QKeyEvent>
#include <QScrollArea>
#include <QScrollBar>
#include <QSettings>
#include <QTemporaryDir>

namespace {

TEST(PopoverFrame, HangsUnderOrStandsOverTheAnchorInsideTheScreen)
{
    const QRect screen(0, 0, 1920, 1080);
    const QRect topBar(0, 28, 1920, 1052);   // a panel at the top
    const QRect bottomBar(0, 0, 1920, 1040); // a panel at the bottom
    struct Case {
        const char* name;
        QRect anchor;
        QRect available;
        qreal content;
        QRect frame;
    };
    const Case cases[] = {
        // 392 wide: the 348 card and 22 on each side; centred on the icon; the
        // card 4 under the icon's lower edge (y 28), so the panel 22 higher.
        {"tall content is capped", {1000, 4, 24, 24}, topBar, 1000, {816, 10, 392, 724}},
        {"short content", {1000, 4, 24, 24}, topBar, 300, {816, 10, 392, 344}},
        {"near the right edge", {1886, 4, 24, 24}, topBar, 300, {1920 - 4 - 348 - 22, 10, 392, 344}},
        {"near the left edge", {0, 4, 24, 24}, topBar, 300, {4 - 22, 10, 392, 344}},
        // The card's lower edge 4 above the icon's top (y 1048).
        {"bottom panel opens upward", {1000, 1048, 24, 24}, bottomBar, 300, {816, 1048 - 4 - 22 - 300, 392, 344}},
        {"no screen: nothing clamped", {1900, 4, 24, 24}, QRect(), 300, {1716, 10, 392, 344}},
    };
    for (const Case& c : cases) {
        const QRect frame = PopoverController::popoverFrame(c.anchor, c.available.isNull() ? QRect() : screen,
                                                            c.available, c.content);
        EXPECT_EQ(frame, c.frame) << c.name;
    }
}

// A screen too short for the card: it keeps 4 from the edge of the available
// area it grows toward, and its content scrolls inside.
TEST(PopoverFrame, ACardTallerThanTheRoomKeepsToTheScreen)
{
    const QRect screen(0, 0, 1024, 500);
    struct Case {
        const char* name;
        QRect anchor;
        QRect available;
        QRect frame;
    };
    const Case cases[] = {
        // Card from y 32 (4 under the icon) to 496 (4 above the area's end at 500).
        {"hanging down", {500, 4, 24, 24}, {0, 28, 1024, 472}, {316, 10, 392, 464 + 44}},
        // Card from y 4 (4 inside the area) to 470 (4 above the icon at 474).
        {"standing up", {500, 474, 24, 24}, {0, 0, 1024, 470}, {316, 4 - 22, 392, 466 + 44}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(PopoverController::popoverFrame(c.anchor, screen, c.available, 1000), c.frame) << c.name;
}

class PopoverKeys : public ::testing::Test {
protected:
    void SetUp() override
    {
        c.onQuit = [this] { log << "quit"; };
        reset(busyState());
    }

    // The popover open over `s`, every id logging itself and closing logged.
    void reset(const MenuState& s)
    {
        c.close();
        log.clear();
        c.open(QRect(500, 4, 24, 24));
        MenuModel& m = c.model();
        m.begin();
        for (const QString& id : idsOf(s))
            m.act(id, [this, id] { log << (c.isOpen() ? id : "closed " + id); });
        m.commit(s);
    }

    bool press(int key, Qt::KeyboardModifiers mods = Qt::NoModifier)
    {
        const QKeyEvent event(QEvent::KeyPress, key, mods);
        return c.handleKey(event);
    }

    QTemporaryDir dir;
    QSettings store{dir.filePath("defaults.conf"), QSettings::IniFormat};
    PopoverController c{store};
    QStringList log;
};

TEST_F(PopoverKeys, OpeningClearsTheSelectionAndArrowsMoveIt)
{
    c.model().setSelected(QString("f.quit"));
    c.close();
    c.open(QRect(500, 4, 24, 24));
    EXPECT_TRUE(c.isOpen());
    EXPECT_EQ(c.model().selected(), std::nullopt);
    EXPECT_TRUE(press(Qt::Key_Down));
    EXPECT_EQ(c.model().selected(), "rec");
    EXPECT_TRUE(press(Qt::Key_Down, Qt::ShiftModifier)) << "arrows act with any modifier";
    EXPECT_EQ(c.model().selected(), "board");
    EXPECT_TRUE(press(Qt::Key_Up));
    EXPECT_TRUE(press(Qt::Key_Up));
    EXPECT_EQ(c.model().selected(), "rec");
}

TEST_F(PopoverKeys, EachKey)
{
    struct Case {
        const char* name;
        int key;
        Qt::KeyboardModifiers mods;
        std::optional<QString> selected;
        bool handled;
        QStringList log;
        bool open;
    };
    const Case cases[] = {
        {"Return on a to-do keeps it open", Qt::Key_Return, {}, "todo.a.2", true, {"todo.a.2"}, true},
        {"Return on the fold toggle keeps it open", Qt::Key_Enter, {}, "upnext.toggle", true, {"upnext.toggle"}, true},
        {"Return on quit closes first", Qt::Key_Return, {}, "f.quit", true, {"closed f.quit"}, false},
        {"Return with nothing selected", Qt::Key_Return, {}, std::nullopt, true, {}, true},
        {"Return on an id no longer there", Qt::Key_Return, {}, "gone", true, {}, true},
        {"Escape closes", Qt::Key_Escape, {}, std::nullopt, true, {}, false},
        {"Ctrl+W closes", Qt::Key_W, Qt::ControlModifier, std::nullopt, true, {}, false},
        {"Ctrl+Q asks the owner to quit", Qt::Key_Q, Qt::ControlModifier, std::nullopt, true, {"quit"}, true},
        {"Ctrl+comma opens the settings",
         Qt::Key_Comma,
         Qt::ControlModifier,
         std::nullopt,
         true,
         {"closed f.settings"},
         false},
        {"Ctrl+O opens the board", Qt::Key_O, Qt::ControlModifier, std::nullopt, true, {"closed board"}, false},
        {"Q alone is not handled", Qt::Key_Q, {}, std::nullopt, false, {}, true},
        {"another key is not handled", Qt::Key_A, Qt::ControlModifier, std::nullopt, false, {}, true},
    };
    for (const Case& k : cases) {
        reset(busyState());
        c.model().setSelected(k.selected);
        EXPECT_EQ(press(k.key, k.mods), k.handled) << k.name;
        EXPECT_EQ(log, k.log) << k.name;
        EXPECT_EQ(c.isOpen(), k.open) << k.name;
    }

    MenuState noBoard = busyState();
    noBoard.openBoard.reset();
    reset(noBoard);
    EXPECT_FALSE(press(Qt::Key_O, Qt::ControlModifier)) << "no board row";
    EXPECT_TRUE(log.isEmpty());
    EXPECT_TRUE(c.isOpen());
}

TEST_F(PopoverKeys, KeysReachTheHandlerThroughThePanel)
{
    QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
    QApplication::sendEvent(c.panel(), &down);
    EXPECT_EQ(c.model().selected(), "rec");
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(c.panel(), &escape);
    EXPECT_FALSE(c.isOpen());
}

// The application's own global keys, which the open popover's keyboard grab
// keeps from the desktop: they reach their handlers through the panel, press
// and release, and the keys of the popover itself stay its own.
TEST_F(PopoverKeys, GlobalKeysStillWorkWhileItHasTheKeyboard)
{
    // A combination nothing else on the test desktop uses.
    QStringList heard;
    HotKeys::registerKey(
        97, Qt::Key_F12, HotKeys::appModifiers, [&] { heard << "up"; }, [&] { heard << "down"; });
    const auto send = [&](QEvent::Type type, int key, Qt::KeyboardModifiers mods, bool repeat = false) {
        QKeyEvent e(type, key, mods, QString(), repeat);
        QApplication::sendEvent(c.panel(), &e);
    };
    send(QEvent::KeyPress, Qt::Key_F12, HotKeys::appModifiers);
    send(QEvent::KeyPress, Qt::Key_F12, HotKeys::appModifiers, true); // held: still one press
    send(QEvent::KeyRelease, Qt::Key_F12, HotKeys::appModifiers);
    send(QEvent::KeyPress, Qt::Key_F12, Qt::ControlModifier); // not the combination
    EXPECT_TRUE(waitFor([&] {
        QCoreApplication::processEvents();
        return heard.size() >= 2;
    }));
    QCoreApplication::processEvents();
    EXPECT_EQ(heard, QStringList({"down", "up"}));
    send(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
    EXPECT_EQ(c.model().selected(), "rec");
}

void pastTheFade();

// A tall popover scrolled down and closed opens again at its top, the card no
// taller than the room the panel has.
TEST_F(PopoverKeys, ReopensAtTheTop)
{
    MenuState tall = busyState();
    for (int i = 0; i < 30; ++i)
        tall.groups[0].items.push_back({QString("todo.x.%1").arg(i), "More work", false, std::nullopt, std::nullopt,
                                        QString("todo.x.%1.done").arg(i)});
    reset(tall);
    auto* area = c.root()->view()->findChild<QScrollArea*>();
    ASSERT_NE(area, nullptr);
    ASSERT_TRUE(waitFor([&] {
        QCoreApplication::processEvents();
        return area->verticalScrollBar()->maximum() > 0;
    })) << area->height() << " " << c.model().contentHeight() << " " << area->widget()->height();
    area->verticalScrollBar()->setValue(area->verticalScrollBar()->maximum());
    c.close();
    pastTheFade();
    c.open(QRect(500, 4, 24, 24));
    EXPECT_EQ(area->verticalScrollBar()->value(), 0);
    EXPECT_LE(area->height(), c.panel()->height() - 2 * PopoverController::margin);
}

// Runs the event loop past the fade-out's timer (timers fire in deadline order).
void pastTheFade()
{
    QEventLoop loop;
    QTimer::singleShot(400, &loop, &QEventLoop::quit);
    loop.exec();
}

TEST_F(PopoverKeys, CloseHidesAfterTheFadeUnlessReopened)
{
    c.close();
    EXPECT_FALSE(c.isOpen());
    EXPECT_TRUE(c.panel()->isVisible()) << "still fading";
    pastTheFade();
    EXPECT_FALSE(c.panel()->isVisible());

    c.open(QRect(500, 4, 24, 24));
    c.close();
    c.open(QRect(500, 4, 24, 24));
    pastTheFade();
    EXPECT_TRUE(c.panel()->isVisible());
    EXPECT_TRUE(c.isOpen());
}

} // namespace
