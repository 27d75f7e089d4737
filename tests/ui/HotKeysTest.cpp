// Global keys on the private desktop: real grabs on its X server, keys pressed
// through XTest with xdotool.
#include "../platform/DesktopHelpers.h"
#include "core/Log.h"
#include "core/Paths.h"
#include "platform/linux/XDisplay.h"
#include "support/TestSupport.h"
#include "ui/HotKeys.h"

#include <QCoreApplication>
#include <QThread>
#include <gtest/gtest.h>

namespace {

using HotKeys::appModifiers;

void xdotool(const QStringList& args)
{
    ASSERT_TRUE(run(QStringLiteral("xdotool"), args)) << args.join(' ').toStdString();
}

// Presses Ctrl+Alt+M, a key of the tests' own, and waits for its handler. X hands
// out events in order, so every key pressed before it has then been dealt with.
void settle()
{
    static int marks = 0;
    static const bool registered = HotKeys::registerKey(99, Qt::Key_M, appModifiers, {}, [] { ++marks; });
    ASSERT_TRUE(registered);
    const int before = marks;
    xdotool({"key", "ctrl+alt+m"});
    ASSERT_TRUE(waitFor([&] { return marks > before; }, 30)) << "the marker key never arrived";
}

QStringList logMessages()
{
    slogFlush();
    QStringList messages;
    for (const QByteArray& line : readFile(Paths::logFile()).split('\n'))
        if (!line.isEmpty())
            messages << QString::fromUtf8(line.mid(21)); // after "yyyy-MM-dd HH:mm:ss  "
    return messages;
}

// Which lock keys are on, from the pointer's modifier state.
uint16_t lockState()
{
    XDisplay x;
    XReply<xcb_query_pointer_reply_t> reply(
        xcb_query_pointer_reply(x.connection(), xcb_query_pointer(x.connection(), x.root()), nullptr));
    return reply ? reply->mask & (XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2) : 0;
}

// Another X client holding a key combination until the object dies.
class KeyHolder {
public:
    KeyHolder(const QString& letter, const QStringList& masks)
    {
        process_.start(QStringLiteral(ZELVAN_KEY_HOLDER), QStringList{letter} + masks);
        process_.waitForReadyRead(20000);
        ready_ = process_.readAllStandardOutput().startsWith("ready");
    }
    ~KeyHolder()
    {
        process_.closeWriteChannel();
        process_.waitForFinished(10000);
    }
    bool ready() const { return ready_; }

private:
    QProcess process_;
    bool ready_ = false;
};

TEST(HotKeysTest, APressRunsThePressHandlerOnceOnTheMainThread)
{
    int presses = 0;
    bool onMain = true;
    ASSERT_TRUE(HotKeys::registerKey(HotKeys::kickIn.id, HotKeys::kickIn.key, HotKeys::kickIn.modifiers, {}, [&] {
        ++presses;
        onMain = onMain && QThread::currentThread() == QCoreApplication::instance()->thread();
    }));

    xdotool({"key", "ctrl+alt+r"});
    settle();
    EXPECT_EQ(presses, 1);
    EXPECT_TRUE(onMain);

    // Only the exact combination: not the bare key, not with Shift as well.
    xdotool({"key", "r", "ctrl+r", "ctrl+alt+shift+r"});
    settle();
    EXPECT_EQ(presses, 1);
}

TEST(HotKeysTest, HoldingTheTalkKeyGivesOnePressAndOneRelease)
{
    QString seen;
    const HotKeys::Key& talk = HotKeys::talk;
    ASSERT_TRUE(talk.hold);
    ASSERT_TRUE(HotKeys::registerKey(
        talk.id, talk.key, talk.modifiers, [&] { seen += 'R'; }, [&] { seen += 'P'; }));

    // Held for a second, long enough for the keyboard to repeat the key many times;
    // then let go at once, or the modifiers first.
    const QList<QStringList> holds{
        {"keydown", "ctrl+alt+space", "sleep", "1", "keyup", "ctrl+alt+space"},
        {"keydown", "ctrl+alt+space", "sleep", "1", "keyup", "ctrl", "keyup", "alt", "keyup", "space"},
    };
    for (const QStringList& hold : holds) {
        seen.clear();
        xdotool(hold);
        settle();
        EXPECT_EQ(seen.toStdString(), "PR") << hold.join(' ').toStdString();
    }
}

TEST(HotKeysTest, KeysWorkWithNumLockAndCapsLockOn)
{
    int presses = 0;
    ASSERT_TRUE(HotKeys::registerKey(HotKeys::pin.id, HotKeys::pin.key, HotKeys::pin.modifiers, {}, [&] { ++presses; }));

    struct Case {
        QStringList locks;
        uint16_t state;
    };
    const QList<Case> cases{
        {{"Num_Lock"}, XCB_MOD_MASK_2},
        {{"Caps_Lock"}, XCB_MOD_MASK_LOCK},
        {{"Num_Lock", "Caps_Lock"}, XCB_MOD_MASK_2 | XCB_MOD_MASK_LOCK},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.locks.join('+').toStdString());
        xdotool(QStringList{"key"} + c.locks);
        EXPECT_EQ(lockState(), c.state);
        xdotool({"key", "ctrl+alt+p"});
        settle();
        xdotool(QStringList{"key"} + c.locks); // off again
        ASSERT_EQ(lockState(), 0);
    }
    EXPECT_EQ(presses, int(cases.size()));
}

TEST(HotKeysTest, AKeyAnotherClientHoldsIsRefusedWithTheLogLine)
{
    // Ctrl+Alt+K with every lock variant, as a desktop's own shortcut would be.
    KeyHolder holder(QStringLiteral("k"), {"12", "14", "28", "30"});
    ASSERT_TRUE(holder.ready());

    EXPECT_FALSE(HotKeys::registerKey(7, Qt::Key_K, appModifiers, {}, [] {}));
    EXPECT_TRUE(logMessages().contains("hotkey 7 not registered (10) — another app or a system shortcut owns it"));

    // A refused registration still replaces the id's press handler.
    QString ran;
    ASSERT_TRUE(HotKeys::registerKey(8, Qt::Key_J, appModifiers, {}, [&] { ran += 'A'; }));
    EXPECT_FALSE(HotKeys::registerKey(8, Qt::Key_K, appModifiers, {}, [&] { ran += 'B'; }));
    xdotool({"key", "ctrl+alt+j"});
    settle();
    EXPECT_EQ(ran.toStdString(), "B");
}

TEST(HotKeysTest, ARefusedKeyKeepsNoneOfItsVariants)
{
    // Another client holds Ctrl+Alt+L only with NumLock on. Once we are refused,
    // the variants we did get must be given back, not kept to swallow the key.
    KeyHolder numLockOnly(QStringLiteral("l"), {"28"});
    ASSERT_TRUE(numLockOnly.ready());
    EXPECT_FALSE(HotKeys::registerKey(9, Qt::Key_L, appModifiers, {}, [] {}));

    KeyHolder rest(QStringLiteral("l"), {"12", "14", "30"});
    EXPECT_TRUE(rest.ready()) << "a variant of the refused key is still grabbed";
}

TEST(HotKeysTest, WithoutAnXDisplayEveryRegistrationFailsWithOneLogLine)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe"); // a fresh process: no grabber opened yet
    EXPECT_EXIT(
        {
            qunsetenv("DISPLAY");
            const bool any = HotKeys::registerKey(1, Qt::Key_R, appModifiers, {}, [] {})
                || HotKeys::registerKey(2, Qt::Key_P, appModifiers, {}, [] {})
                || HotKeys::registerKey(
                                 3, Qt::Key_Space, appModifiers, [] {}, [] {});
            const QStringList lines = logMessages();
            std::exit(!any && lines.filter("need X11").size() == 1 && lines.filter("not registered").isEmpty() ? 0 : 1);
        },
        testing::ExitedWithCode(0), "hotkeys: global keys need X11 — no X display");
}

} // namespace
