#include "session/NoteCard.h"

#include "core/Brand.h"
#include "session/OCR.h"

#include <QImage>
#include <gtest/gtest.h>

namespace {

QImage card(const QString& text)
{
    const auto jpeg = NoteCard::jpeg(text);
    QImage image;
    if (jpeg)
        image.loadFromData(*jpeg, "JPEG");
    return image;
}

bool white(QRgb p)
{
    return qRed(p) > 200 && qGreen(p) > 200 && qBlue(p) > 200;
}

// Rows of the body box (top 180, bottom 570 in image rows) holding white text.
std::vector<int> inkRows(const QImage& image, int left = 80, int right = 1120)
{
    std::vector<int> rows;
    for (int y = 0; y < image.height(); ++y)
        for (int x = left; x < right; ++x)
            if (white(image.pixel(x, y))) {
                rows.push_back(y);
                break;
            }
    return rows;
}

// Height of the first run of rows with ink at the start of the first line.
int firstLineHeight(const QImage& image)
{
    const auto rows = inkRows(image, 80, 300);
    if (rows.empty())
        return 0;
    int n = 1;
    while (n < int(rows.size()) && rows[size_t(n)] == rows[0] + n)
        ++n;
    return n;
}

bool near(QRgb p, const QColor& c, int tolerance = 12)
{
    return std::abs(qRed(p) - c.red()) <= tolerance && std::abs(qGreen(p) - c.green()) <= tolerance
        && std::abs(qBlue(p) - c.blue()) <= tolerance;
}

} // namespace

TEST(NoteCard, EmptyNoteIsBackgroundStrokeAndLabel)
{
    const QImage image = card("");
    ASSERT_EQ(image.size(), QSize(1200, 630));
    EXPECT_TRUE(near(image.pixel(600, 400), Brand::bg()));
    EXPECT_TRUE(near(image.pixel(5, 5), Brand::bg()));
    // The stroke runs from (80, 480) to (110, 560) counted from the bottom left.
    EXPECT_TRUE(near(image.pixel(95, 630 - 520), Brand::lime()));
    EXPECT_TRUE(near(image.pixel(80, 630 - 480), Brand::lime()));
    EXPECT_TRUE(near(image.pixel(60, 630 - 520), Brand::bg())) << "left of the stroke";
    EXPECT_TRUE(inkRows(image).empty()) << "no white text anywhere";
}

TEST(NoteCard, LongNotesUseTheSmallerSize)
{
    const QString e = QStringLiteral("e\u0301"); // one character of two code units
    struct Case {
        QString text;
        bool large;
    };
    const Case cases[] = {
        {QString(140, 'H'), true},
        {QString(141, 'H'), false},
        {QString(70, 'H') + e.repeated(70), true}, // 140 characters, 210 code units
        {QString(70, 'H') + e.repeated(71), false},
    };
    for (const Case& c : cases) {
        const QImage image = card(c.text);
        ASSERT_EQ(image.size(), QSize(1200, 630));
        const int h = firstLineHeight(image);
        // A capital is about 35 px tall at 48 px and 26 px at 36 px.
        if (c.large)
            EXPECT_GT(h, 31) << c.text.size();
        else
            EXPECT_LT(h, 30) << c.text.size();
        EXPECT_GE(inkRows(image).front(), 180) << "text starts inside the body box";
    }
}

TEST(NoteCard, OverlongNoteIsCutAtTheBox)
{
    const QImage image = card(QString("word ").repeated(600));
    ASSERT_EQ(image.size(), QSize(1200, 630));
    const auto rows = inkRows(image, 0, 1200);
    ASSERT_FALSE(rows.empty());
    EXPECT_GE(rows.front(), 180);
    EXPECT_LT(rows.back(), 572) << "nothing below the box's bottom edge";
    EXPECT_GT(rows.back(), 520) << "the box is filled to its bottom";
}

TEST(NoteCard, TextReadsBack)
{
    const QImage image = card("Check the venue page on mobile");
    ASSERT_FALSE(image.isNull());
    const QString text = OCR::text(image);
    EXPECT_TRUE(text.contains("venue page")) << text.toStdString();
    EXPECT_LT(text.indexOf("Note"), text.indexOf("venue")) << "the label line comes first: " << text.toStdString();
}
