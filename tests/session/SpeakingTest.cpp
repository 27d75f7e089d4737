#include "session/Speaking.h"

#include <gtest/gtest.h>

namespace {

// Window levels from a pattern: '#' loud (0.05), '.' silent.
LevelTrack curve(const char* pattern, double offset = 0)
{
    LevelTrack t{offset, {}, 0.25};
    for (const char* p = pattern; *p; ++p)
        t.rms.push_back(*p == '#' ? 0.05f : 0.0f);
    return t;
}

} // namespace

TEST(Speaking, SpanVectors)
{
    struct Case {
        const char* what;
        std::optional<LevelTrack> mic;
        std::optional<LevelTrack> tab;
        std::vector<Span> micSpans;
        std::vector<Span> tabSpans;
    };
    const Case cases[] = {
        {"no tracks", std::nullopt, std::nullopt, {}, {}},
        {"empty tracks", curve(""), curve(""), {}, {}},
        {"pause of 1.0 s splits, short tail dropped", std::nullopt, curve("####....#"), {}, {{0.0, 1.0}}},
        {"pause of 0.75 s bridged", std::nullopt, curve("####...#"), {}, {{0.0, 2.0}}},
        {"mic over tab does not count", curve("########"), curve("....####"), {{0.0, 1.0}}, {{1.0, 2.0}}},
        {"later mic track is silent before it", curve("##", 3.0), curve("."), {{3.0, 3.5}}, {}},
        {"lone window dropped", curve(".#.."), std::nullopt, {}, {}},
        {"two windows kept", curve(".##."), std::nullopt, {{0.3, 0.8}}, {}},
        {"rounding halves away from zero",
         curve(std::string(49, '.').append("######").c_str()),
         std::nullopt,
         {{12.3, 13.8}},
         {}},
        {"split curve", curve(".##....###"), std::nullopt, {{0.3, 0.8}, {1.8, 2.5}}, {}},
        {"short curve", curve("#..."), std::nullopt, {}, {}},
    };
    for (const Case& c : cases) {
        const auto got = Speaking::spans(c.mic, c.tab);
        EXPECT_EQ(got.mic, c.micSpans) << c.what;
        EXPECT_EQ(got.tab, c.tabSpans) << c.what;
    }
}

TEST(Speaking, ThresholdsAndMinimumLength)
{
    // Just above and at the thresholds; a span exactly minLen long is kept.
    const LevelTrack tab{0, {0.0061f, 0.0061f, 0.006f, 0.006f}, 0.25};
    const LevelTrack mic{0, {0.0181f, 0.0181f, 0.0181f, 0.0181f, 0.018f}, 0.25};
    const auto got = Speaking::spans(mic, tab, 0.25, 0.8, 0.5);
    EXPECT_EQ(got.tab, (std::vector<Span>{{0.0, 0.5}}));
    EXPECT_EQ(got.mic, (std::vector<Span>{{0.5, 1.0}}));
    EXPECT_TRUE(Speaking::spans(mic, tab, 0.25, 0.8, 0.51).tab.empty());
}
