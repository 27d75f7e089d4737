#include "session/Frames.h"
#include "support/TestSupport.h"

#include <QColor>
#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

namespace {

QImage filled(int w, int h, QColor c)
{
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(c);
    return img;
}

} // namespace

TEST(Frames, ThumbnailsAreGreyAndSized)
{
    const auto white = Frames::signature(filled(1440, 900, Qt::white));
    ASSERT_EQ(white.size(), 576u);
    for (float v : white)
        EXPECT_FLOAT_EQ(v, 1.0f);
    const auto black = Frames::fine(filled(1440, 900, Qt::black));
    ASSERT_EQ(black.size(), 9216u);
    for (auto v : black)
        EXPECT_EQ(v, 0);

    // Left half white: the left columns are bright, the right ones dark.
    QImage half = filled(640, 360, Qt::black);
    QPainter(&half).fillRect(0, 0, 320, 360, Qt::white);
    const auto sig = Frames::signature(half);
    EXPECT_GT(sig[0], 0.9f);
    EXPECT_LT(sig[31], 0.1f);
    EXPECT_GT(sig[17 * 32], 0.9f);

    EXPECT_TRUE(Frames::signature(QImage()).empty());
    EXPECT_TRUE(Frames::fine(QImage()).empty());
}

TEST(Frames, DiffAndChangedRatio)
{
    std::vector<float> a(576, 0.5f), b(576, 0.5f);
    EXPECT_FLOAT_EQ(Frames::diff(a, b), 0.0f);
    for (int i = 0; i < 288; ++i)
        b[i] = 0.56f; // half the pixels move by 0.06
    EXPECT_NEAR(Frames::diff(a, b), 0.03f, 1e-6);
    EXPECT_FLOAT_EQ(Frames::diff({}, {}), 1.0f);
    EXPECT_FLOAT_EQ(Frames::diff({}, b), 1.0f);
    EXPECT_FLOAT_EQ(Frames::diff(a, std::vector<float>(10, 0.5f)), 1.0f);

    std::vector<std::uint8_t> f(9216, 100), g(9216, 100);
    EXPECT_FLOAT_EQ(Frames::changedRatio(f, g), 0.0f);
    g[0] = 120; // a step of exactly 20 is not a change
    g[1] = 121;
    g[2] = 79;
    EXPECT_FLOAT_EQ(Frames::changedRatio(f, g), 2.0f / 9216.0f);
    EXPECT_FLOAT_EQ(Frames::changedRatio({}, g), 1.0f);
    EXPECT_FLOAT_EQ(Frames::changedRatio(f, std::vector<std::uint8_t>(5, 0)), 1.0f);
}

TEST(Frames, ScaleKeepsProportionTruncated)
{
    const auto scaled = Frames::scale(filled(3024, 1964, Qt::red), 1440);
    ASSERT_TRUE(scaled);
    EXPECT_EQ(scaled->size(), QSize(1440, 935));
    EXPECT_EQ(scaled->pixelColor(700, 400), QColor(Qt::red));
    // A strip too thin for the width has no height left.
    EXPECT_FALSE(Frames::scale(filled(4000, 1, Qt::red), 100));
    EXPECT_FALSE(Frames::scale(QImage(), 100));
}

TEST(Frames, JpegNarrowsOnlyWiderImagesAndLoadsBack)
{
    TempSupport support;
    struct Case {
        QSize size;
        std::optional<int> maxWidth;
        QSize expected;
    };
    const Case cases[] = {
        {{3024, 1964}, 1440, {1440, 935}},
        {{800, 600}, 1440, {800, 600}},
        {{1440, 900}, 1440, {1440, 900}},
        {{3024, 1964}, std::nullopt, {3024, 1964}},
    };
    for (const Case& c : cases) {
        const auto bytes = Frames::jpeg(filled(c.size.width(), c.size.height(), QColor(30, 200, 90)), 0.6, c.maxWidth);
        ASSERT_TRUE(bytes);
        EXPECT_TRUE(bytes->startsWith("\xFF\xD8\xFF"));
        const QString path = support.file("shot.jpg");
        writeFile(path, *bytes);
        const auto back = Frames::load(path);
        ASSERT_TRUE(back);
        EXPECT_EQ(back->size(), c.expected);
    }
}

TEST(Frames, JpegQualityShowsInSize)
{
    QImage noisy(640, 400, QImage::Format_RGB32);
    for (int y = 0; y < noisy.height(); ++y)
        for (int x = 0; x < noisy.width(); ++x)
            noisy.setPixel(x, y, qRgb((x * 7 + y * 13) % 256, (x * y) % 256, (x ^ y) % 256));
    const auto low = Frames::jpeg(noisy, 0.2);
    const auto high = Frames::jpeg(noisy, 0.95);
    ASSERT_TRUE(low && high);
    EXPECT_LT(low->size(), high->size());
    EXPECT_FALSE(Frames::jpeg(QImage()));
}

TEST(Frames, LoadRejectsWhatIsNoImage)
{
    TempSupport support;
    writeFile(support.file("broken.jpg"), "not an image");
    EXPECT_FALSE(Frames::load(support.file("broken.jpg")));
    EXPECT_FALSE(Frames::load(support.file("missing.png")));
}
