#include "activity/Idle.h"
#include "core/Log.h"
#include "core/Paths.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

TEST(Idle, WithoutADisplayEveryoneIsActiveAndThatIsLoggedOnce)
{
    TempSupport support;
    const QByteArray display = qgetenv("DISPLAY");
    qunsetenv("DISPLAY");
    const double first = Idle::seconds();
    const double second = Idle::seconds();
    if (!display.isEmpty())
        qputenv("DISPLAY", display);
    EXPECT_EQ(first, 0);
    EXPECT_EQ(second, 0);
    slogFlush();
    EXPECT_EQ(readFile(Paths::logFile()).count("idle: no X display"), 1);
}
