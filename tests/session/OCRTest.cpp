#include "session/OCR.h"

#include "core/Strings.h"
#include "support/UnicodeSpace.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

namespace {

TextLine box(const char* text, double x, double midY, double height, double width = 0.1)
{
    return {.text = QString::fromUtf8(text), .x = x, .y = midY - height / 2, .width = width, .height = height};
}

QStringList texts(const std::vector<TextLine>& lines)
{
    QStringList out;
    for (const TextLine& l : lines)
        out << l.text;
    return out;
}

} // namespace

TEST(OCRReadingOrder, TopLineFirstThenLeftToRightInYUpCoordinates)
{
    // The recogniser's order is scrambled; y grows upwards, so the highest box is the top line.
    const std::vector<TextLine> lines = {
        box("body right", 0.5, 0.40, 0.04), box("menu", 0.02, 0.98, 0.02),  box("title", 0.1, 0.70, 0.10),
        box("body left", 0.1, 0.41, 0.04),  box("footer", 0.1, 0.05, 0.03),
    };
    EXPECT_EQ(texts(OCR::readingOrder(lines)), QStringList({"menu", "title", "body left", "body right", "footer"}));
    EXPECT_TRUE(OCR::readingOrder({}).empty());
}

TEST(OCRReadingOrder, SameLineToleranceIsHalfTheSmallerHeight)
{
    struct Case {
        double otherMidY, otherHeight;
        bool sameLine;
    };
    // Reference: midY 0.525, height 0.05 (pixel-derived values, not exact in binary).
    const Case cases[] = {
        {0.55, 0.05, true},                                              // exactly half the height apart
        {0.5, 0.05, true},                                               // the same, below
        {0.5501, 0.05, false},                                           // just over
        {0.54, 0.5, true},                                               // tall neighbour: the smaller height decides
        {0.56, 0.5, false},    {0.53, 0.01, true}, {0.531, 0.01, false}, // a small box needs to be close
    };
    for (const Case& c : cases) {
        // The other box is placed so that "higher first" and "left first" disagree.
        const bool higher = c.otherMidY > 0.525;
        const TextLine ref = box("ref", 0.5, 0.525, 0.05);
        const TextLine other = box("other", higher ? 0.9 : 0.1, c.otherMidY, c.otherHeight);
        const QStringList leftFirst = higher ? QStringList{"ref", "other"} : QStringList{"other", "ref"};
        const QStringList higherFirst = higher ? QStringList{"other", "ref"} : QStringList{"ref", "other"};
        EXPECT_EQ(texts(OCR::readingOrder({ref, other})), c.sameLine ? leftFirst : higherFirst)
            << c.otherMidY << " h " << c.otherHeight;
    }
}

TEST(OCRReadingOrder, NonTransitiveSameLineGivesOneOrderWhateverTheInputOrder)
{
    // a~b and b~c are on the same line by the tolerance, a and c are not: a pairwise
    // comparison would say a<c, c<b, b<a. Lines are grouped from the top: {a, b}, then {c}.
    std::vector<TextLine> lines = {
        box("a", 0.50, 0.100, 0.010),
        box("b", 0.30, 0.096, 0.010),
        box("c", 0.10, 0.092, 0.010),
        // A fourth box on a far lower line and one far above, for good measure.
        box("d", 0.00, 0.050, 0.010),
        box("z", 0.90, 0.900, 0.010),
    };
    const QStringList expected = {"z", "b", "a", "c", "d"};
    std::sort(lines.begin(), lines.end(), [](const TextLine& l, const TextLine& r) { return l.text < r.text; });
    do {
        EXPECT_EQ(texts(OCR::readingOrder(lines)), expected) << texts(lines).join(',').toStdString();
    } while (std::next_permutation(lines.begin(), lines.end(),
                                   [](const TextLine& l, const TextLine& r) { return l.text < r.text; }));

    // Boxes stepping down and to the left by less than the tolerance, where a
    // pairwise sort could return anything: each line is its first box and the next.
    std::vector<TextLine> stairs;
    QStringList pairs;
    for (int i = 0; i < 200; ++i) {
        stairs.push_back(box(QByteArray::number(i).constData(), 0.9 - i * 0.004, 0.9 - i * 0.003, 0.01));
        if (i % 2)
            pairs << QString::number(i) << QString::number(i - 1);
    }
    std::reverse(stairs.begin(), stairs.end());
    EXPECT_EQ(texts(OCR::readingOrder(stairs)), pairs);
}

TEST(OCRReadingOrder, TiesKeepTheRecognisersOrder)
{
    const std::vector<TextLine> lines = {
        box("first", 0.2, 0.5, 0.05),
        box("second", 0.2, 0.5, 0.05),
        box("left", 0.1, 0.51, 0.05),
        box("third", 0.2, 0.49, 0.05),
    };
    EXPECT_EQ(texts(OCR::readingOrder(lines)), QStringList({"left", "first", "second", "third"}));
}

TEST(OCRCompose, TitleIsTheTallestLineWithFourLetters)
{
    struct Case {
        const char* name;
        std::vector<TextLine> lines; // in reading order
        std::optional<QString> title;
    };
    const Case cases[] = {
        {"headline below a menu bar",
         {box("Keynote File Edit", 0.0, 0.98, 0.02), box("Quarterly roadmap", 0.1, 0.7, 0.08),
          box("Launch console polish", 0.1, 0.5, 0.05)},
         "Quarterly roadmap"},
        {"tall clock and short words never win",
         {box("12:01", 0.0, 0.9, 0.3), box("ABC", 0.0, 0.6, 0.3), box("Notes", 0.0, 0.3, 0.02)},
         "Notes"},
        {"no line with four letters", {box("12:01", 0.0, 0.9, 0.3), box("ab 1", 0.0, 0.5, 0.1)}, std::nullopt},
        {"letters of any script, digits do not count",
         {box("a1b2c3", 0.0, 0.9, 0.2), box("Ünïc", 0.0, 0.5, 0.1)},
         QString("Ünïc")},
        {"equal heights: the earliest in reading order",
         {box("Alpha line", 0.0, 0.9, 0.05), box("Bravo line", 0.0, 0.5, 0.05)},
         "Alpha line"},
        {"title is trimmed", {box("  Padded title \t", 0.0, 0.5, 0.05)}, "Padded title"},
        {"Unicode white space is trimmed too",
         {box(UnicodeSpace::padded("Padded title").toUtf8().constData(), 0.0, 0.5, 0.05)},
         "Padded title"},
        {"a zero-width space is no white space",
         {box("\u200bSpaced title\u200b", 0.0, 0.5, 0.05)},
         QString::fromUtf8("\u200bSpaced title\u200b")},
        {"no lines", {}, std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(OCR::compose(c.lines).title, c.title) << c.name;
}

TEST(OCRCompose, TextJoinsUntrimmedLinesAndCapsLengths)
{
    const OCR::Reading r = OCR::compose({box(" one ", 0, 0.9, 0.05), box("two", 0, 0.5, 0.05)});
    EXPECT_EQ(r.text, " one \ntwo");

    // 2001 characters, one of them an accented letter made of two code points.
    const QString accented = QString::fromUtf8("e\u0301");
    const QString longText = accented + QString(2000, 'x');
    EXPECT_EQ(OCR::compose({box(longText.toUtf8().constData(), 0, 0.5, 0.05)}).text, accented + QString(1999, 'x'));

    const QString longTitle = "  " + QString(101, 'T') + "  ";
    EXPECT_EQ(OCR::compose({box(longTitle.toUtf8().constData(), 0, 0.5, 0.05)}).title, QString(100, 'T'));
    EXPECT_EQ(OCR::compose({box("", 0, 0.5, 0.05)}).text, "");
}

TEST(OCRWords, SplitLowerCaseAndKeepWordsOfTwoCharacters)
{
    const std::pair<const char*, QSet<QString>> cases[] = {
        {"Leaderboard automation!", {"leaderboard", "automation"}},
        {"one-word", {"one", "word"}},
        {"a b c -- . ,", {}},
        {"", {}},
        {"12:01 x 42", {"12", "01", "42"}},
        {"Über straße\u00a0CAFÉ", {"über", "straße", "café"}},
        {"e\u0301 e\u0301e\u0301", {"e\u0301e\u0301"}}, // combining marks belong to the word
        {"snake_case and dot.ted", {"snake", "case", "and", "dot", "ted"}},
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(OCR::words(QString::fromUtf8(in)), out) << in;
}

TEST(OCRWords, SimilarityAndNearDuplicates)
{
    // 20 distinct words; the first 17, and the first 21 of 25.
    const auto numbered = [](int from, int count) {
        QStringList w;
        for (int i = from; i < from + count; ++i)
            w << "w" + QString::number(i);
        return w.join(' ');
    };
    const struct {
        QString a, b;
        double similarity;
        bool near;
    } cases[] = {
        {"", "", 1.0, true},
        {"!!", "a . b", 1.0, true}, // no words on either side
        {"", "launch console", 0.0, false},
        {"Leaderboard automation!", "leaderboard Automation", 1.0, true},
        {"one two", "two three", 1.0 / 3.0, false},
        {numbered(0, 20), numbered(0, 17), 0.85, true}, // exactly the bound
        {numbered(0, 25), numbered(0, 21), 0.84, false},
        {"Bramel token launch console Leaderboard ATH market caps wallets cluster filters venue page layout "
         "settings pricing annual plan monthly plan support docs 12:01",
         "Bramel token launch console Leaderboard ATH market caps wallets cluster filters venue page layout "
         "settings pricing annual plan monthly plan support docs 12:02",
         22.0 / 24.0, true}, // 23 words each, 22 shared
        {"Tovarind SEO audit for Brunnhafer", "Bramel token launch console", 0.0, false},
    };
    for (const auto& c : cases) {
        EXPECT_DOUBLE_EQ(OCR::similarity(c.a, c.b), c.similarity) << c.a.toStdString() << " | " << c.b.toStdString();
        EXPECT_DOUBLE_EQ(OCR::similarity(c.b, c.a), c.similarity);
        EXPECT_EQ(OCR::isNearDuplicate(c.a, c.b), c.near) << c.a.toStdString() << " | " << c.b.toStdString();
    }
    EXPECT_FALSE(OCR::isNearDuplicate("x", std::nullopt));
    EXPECT_FALSE(OCR::isNearDuplicate("", std::nullopt));
}

TEST(OCRWords, ClipCountsCharacters)
{
    const QString ten = QString::fromUtf8("abcdefghi\u00e9");
    EXPECT_EQ(OCR::clip(ten, 10), ten);
    EXPECT_EQ(OCR::clip(ten, 11), ten);
    EXPECT_EQ(OCR::clip(ten, 3), "abc");
    EXPECT_EQ(graphemeCount(OCR::clip(QString(5000, 'a'), OCR::maxChars)), 2000);
    const QString flag = QString::fromUtf8("🇩🇪"); // two code points, four code units, one character
    EXPECT_EQ(OCR::clip(flag + flag + flag, 2), flag + flag);
}
