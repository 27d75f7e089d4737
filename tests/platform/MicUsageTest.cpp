#include "platform/MicUsage.h"

#include <gtest/gtest.h>

namespace {

using Procs = std::vector<MicUsage::Proc>;

TEST(MicUsage, OthersAreNeitherThisProcessNorThisApplication)
{
    struct Case {
        const char* what;
        std::optional<Procs> procs;
        QString ownId;
        std::optional<bool> expected;
    };
    const std::vector<Case> cases = {
        {"no list", std::nullopt, "app.zelvan.Zelvan", std::nullopt},
        {"nobody", Procs{}, "app.zelvan.Zelvan", false},
        {"only this process", Procs{{10, ""}}, "app.zelvan.Zelvan", false},
        {"another process of this application", Procs{{10, "x"}, {11, "app.zelvan.Zelvan"}}, "app.zelvan.Zelvan", false},
        {"an application without an id", Procs{{10, ""}, {0, ""}}, "app.zelvan.Zelvan", true},
        {"another application after ours", Procs{{11, "app.zelvan.Zelvan"}, {12, "us.zoom.xos"}}, "app.zelvan.Zelvan",
         true},
        {"no id of our own", Procs{{11, "app.zelvan.Zelvan"}}, "", true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MicUsage::othersAmong(c.procs, 10, c.ownId), c.expected) << c.what;
}

} // namespace
