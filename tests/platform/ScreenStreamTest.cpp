#include "platform/ScreenStream.h"

#include <gtest/gtest.h>

TEST(StreamConfig, SizeIsAtMost1440WideKeepingTheAspectRoundedDown)
{
    struct Case {
        QSize display, expected;
    };
    for (const Case c : {
             Case{{3024, 1964}, {1440, 935}}, Case{{1280, 800}, {1280, 800}}, Case{{1920, 1080}, {1440, 810}},
             Case{{1440, 900}, {1440, 900}}, Case{{5120, 1440}, {1440, 405}},
             Case{{3000, 2}, {1440, 2}}, // never below 2 high
         }) {
        EXPECT_EQ(StreamConfig::sizeFor(c.display), c.expected) << c.display.width() << "x" << c.display.height();
    }
}
