#include "core/FeedItem.h"

#include <gtest/gtest.h>

TEST(FeedItem, KindsMapToTheirLabelsExactly)
{
    using K = FeedItem::Kind;
    const std::pair<K, const char*> kinds[] = {
        {K::heard, "Heard"}, {K::nowIn, "Now in"}, {K::slide, "New slide"}, {K::pinned, "Pinned"},
        {K::noted, "Noted"}, {K::tip, "Tip"},      {K::card, "Card"},       {K::info, "Zelvan"},
    };
    int order = 0;
    for (const auto& [kind, label] : kinds) {
        EXPECT_EQ(int(kind), order++) << "declaration order";
        EXPECT_EQ(FeedItem::label(kind), label);
        EXPECT_EQ(FeedItem::kindFromLabel(label), kind);
    }
    for (const char* other : {"heard", "now in", "", "Zelvan ", "info"})
        EXPECT_FALSE(FeedItem::kindFromLabel(other)) << other;
}

TEST(FeedItem, EveryItemGetsAFreshId)
{
    const QDateTime at = QDateTime::currentDateTimeUtc();
    const FeedItem a(FeedItem::Kind::tip, "x", at);
    const FeedItem b(FeedItem::Kind::tip, "x", at);
    EXPECT_NE(a.id, b.id);
    EXPECT_FALSE(a == b);
    EXPECT_EQ(a.id.version(), QUuid::Random);
}
