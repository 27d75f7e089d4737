// The held modifiers as the private desktop's X server reports them, with the
// keys pressed and released through XTest.
#include "DesktopHelpers.h"

#include "platform/KeyModifiers.h"

#include <gtest/gtest.h>

TEST(KeyModifiers, FollowTheKeysAsTheyGoDownAndUp)
{
    struct Release {
        ~Release() { run("xdotool", {"keyup", "ctrl", "alt"}); }
    } release;

    QString why;
    auto held = KeyModifiers::current(&why);
    ASSERT_TRUE(held) << why.toStdString();
    EXPECT_FALSE(held->control || held->alt);

    ASSERT_TRUE(run("xdotool", {"keydown", "ctrl", "alt"}));
    ASSERT_TRUE(waitFor([] {
        const auto h = KeyModifiers::current();
        return h && h->control && h->alt;
    }));

    // Alt let go first, as a hand leaving Ctrl+Alt+Space often does.
    ASSERT_TRUE(run("xdotool", {"keyup", "alt"}));
    ASSERT_TRUE(waitFor([] {
        const auto h = KeyModifiers::current();
        return h && h->control && !h->alt;
    }));
    ASSERT_TRUE(run("xdotool", {"keyup", "ctrl"}));
    ASSERT_TRUE(waitFor([] {
        const auto h = KeyModifiers::current();
        return h && !h->control && !h->alt;
    }));
}

TEST(KeyModifiers, ADisplayThatCannotBeReachedSaysWhy)
{
    // The connection is made once per process; this runs in a child of its own.
    EXPECT_EXIT(
        {
            qputenv("DISPLAY", ":4077");
            QString why;
            const bool answered = KeyModifiers::current(&why).has_value();
            std::exit(!answered && !why.isEmpty() ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
}
