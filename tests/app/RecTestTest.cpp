#include "app/RecTest.h"

#include <gtest/gtest.h>
#include <limits>

TEST(RecTest, SecondsFollowTheSwitchWhenTheyMakeSense)
{
    const struct {
        QStringList args;
        double seconds;
    } cases[] = {
        {{"zelvan", "--rec-test"}, 5},
        {{"zelvan", "--rec-test", "2.5"}, 2.5},
        {{"zelvan", "--rec-test", "0"}, 0},
        {{"zelvan", "--verbose", "--rec-test", "12", "--x"}, 12},
        {{"zelvan", "--rec-test", "soon"}, 5},
        {{"zelvan", "--rec-test", "-3"}, 5},
        {{"zelvan", "--rec-test", "inf"}, 5},
        {{"zelvan", "--rec-test", "nan"}, 5},
        {{"zelvan", "--rec-test", "1e300"}, 86400},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RecTest::seconds(c.args), c.seconds) << c.args.join(' ').toStdString();
}
