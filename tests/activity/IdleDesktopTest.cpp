#include "Helpers.h"
#include "activity/Idle.h"
#include "platform/InputIdle.h"

#include <QProcess>
#include <chrono>
#include <gtest/gtest.h>

TEST(IdleDesktop, AKeyPressResetsTheIdleTime)
{
    ASSERT_TRUE(InputIdle::seconds().has_value());
    // Wait for a quiet second first, so that the reset is seen.
    ASSERT_TRUE(waitUntil([] { return InputIdle::seconds().value_or(0) >= 1.0; }));

    const auto before = std::chrono::steady_clock::now();
    ASSERT_EQ(QProcess::execute("xdotool", {"key", "shift"}), 0);
    const double idle = Idle::seconds();
    const double since = std::chrono::duration<double>(std::chrono::steady_clock::now() - before).count();
    EXPECT_LT(idle, 1.0);
    // No older than the press itself (the server counts in whole milliseconds).
    EXPECT_LE(idle, since + 0.002);
}
