#include "core/Numbers.h"
#include "core/Privacy.h"
#include "core/Strings.h"
#include "support/UnicodeSpace.h"

#include <gtest/gtest.h>

TEST(Strings, UrlComponent)
{
    const std::pair<QString, QString> cases[] = {
        {"a b/c?d", "a%20b%2Fc%3Fd"},
        {"-._~", "-._~"},
        {"rec:1", "rec%3A1"},
        {"100%", "100%25"},
        {"a&b=c#d+e", "a%26b%3Dc%23d%2Be"},
        {QString::fromUtf8("é"), QString::fromUtf8("é")},             // letter, any script
        {QString::fromUtf8("e\u0301"), QString::fromUtf8("e\u0301")}, // combining mark
        {QString::fromUtf8("日本語"), QString::fromUtf8("日本語")},
        {QString::fromUtf8("Ω٣"), QString::fromUtf8("Ω٣")}, // Greek letter, Arabic digit
        {QString::fromUtf8("😀"), "%F0%9F%98%80"},           // symbol outside the BMP
        {QString::fromUtf8("a\u00a0b"), "a%C2%A0b"},        // no-break space
        {"", ""},
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(urlComponent(in), out) << in.toStdString();

    // Not valid Unicode: returned as it is.
    const QString lone = QString(QChar(0xD800)) + "a b";
    EXPECT_EQ(urlComponent(lone), lone);
}

TEST(Strings, TrimmedStripsUnicodeWhiteSpaceAndLineBreaksOnly)
{
    // Through a path of ours that trims: the kept window title.
    using UnicodeSpace::blank, UnicodeSpace::padded, UnicodeSpace::zeroWidth;
    const std::pair<QString, std::optional<QString>> cases[] = {
        {padded("x y"), "x y"},
        {QString::fromUtf8("\u00a0\u2028x\u0085\u3000"), "x"},
        {blank, std::nullopt},
        {"   ", std::nullopt},
        {zeroWidth + "x" + zeroWidth, zeroWidth + "x" + zeroWidth}, // not white space
        {zeroWidth, zeroWidth},
        {"a \n b", "a \n b"},
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(Privacy::classify("Editor", std::nullopt, in, true).title, out) << in.toStdString();
}

TEST(Numbers, Round1HalvesAwayFromZero)
{
    const std::pair<double, double> cases[] = {
        {2.25, 2.3}, {-2.25, -2.3}, {2.24, 2.2}, {0.05, 0.1}, {-0.04, -0.0}, {12.0, 12.0}, {0.0625, 0.1},
    };
    for (const auto& [in, out] : cases)
        EXPECT_DOUBLE_EQ(round1(in), out) << in;
}

TEST(Strings, GraphemesCountUserPerceivedCharacters)
{
    const QString accent = QString::fromUtf8("e\u0301");         // e + combining acute
    const QString family = QString::fromUtf8("👨\u200d👩\u200d👧"); // one emoji of three people
    EXPECT_EQ(graphemeCount(""), 0);
    EXPECT_EQ(graphemeCount("abc"), 3);
    EXPECT_EQ(graphemeCount(accent + "x" + family), 3);
    EXPECT_EQ(graphemeCount("\r\n"), 1);

    EXPECT_EQ(leftGraphemes(accent + accent + "z", 2), accent + accent);
    EXPECT_EQ(leftGraphemes(family + "ab", 1), family);
    EXPECT_EQ(leftGraphemes("abc", 3), "abc");
    EXPECT_EQ(leftGraphemes("abc", 10), "abc");
    EXPECT_EQ(leftGraphemes("abc", 0), "");

    // Shortened for display: counted in characters, not in UTF-16 units.
    EXPECT_EQ(cut(QString(60, u'a'), 60), QString(60, u'a'));
    EXPECT_EQ(cut(QString(61, u'a'), 60), QString(59, u'a') + "…");
    EXPECT_EQ(cut(QString(40, u'x').replace(0, 1, family), 40).size(), 40 - 1 + family.size());
    EXPECT_EQ(cut(family + family + family, 2), family + "…");
    EXPECT_EQ(cut(accent.repeated(3), 3), accent.repeated(3));
}
