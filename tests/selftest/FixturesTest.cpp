#include "selftest/Fixtures.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>

TEST(Fixtures, TonesHaveTheirLengthAndJoinWithoutAPhaseJump)
{
    const auto always = [](double) { return true; };
    EXPECT_EQ(Fixtures::tone(48000, 1, 0.1, 440, 0.2f, always).frames(), 4800);
    EXPECT_EQ(Fixtures::tone(44100, 1, 0.1, 660, 0.1f, always).frames(), 4410);

    const PcmBuffer silent = Fixtures::tone(48000, 1, 0.1, 440, 0.2f, [](double) { return false; });
    EXPECT_EQ(silent.frames(), 4800);
    EXPECT_TRUE(std::all_of(silent.samples.begin(), silent.samples.end(), [](float v) { return v == 0; }));

    const PcmBuffer stereo = Fixtures::tone(48000, 2, 0.1, 440, 0.2f, always);
    for (int64_t i = 0; i < stereo.frames(); ++i)
        ASSERT_EQ(stereo.samples[size_t(2 * i)], stereo.samples[size_t(2 * i + 1)]) << i;

    // The second piece starts where the first one's waveform goes on.
    const PcmBuffer next = Fixtures::tone(48000, 1, 0.1, 440, 0.2f, always, 0.1);
    EXPECT_FLOAT_EQ(next.samples[0], float(std::sin(440 * 2 * M_PI * 0.1)) * 0.2f);
}

TEST(Fixtures, TheBoxIsDrawnFromTheBottomLeft)
{
    const QImage plain = Fixtures::image(false);
    const QImage boxed = Fixtures::image(true);
    ASSERT_EQ(plain.size(), QSize(640, 360));
    for (int y = 0; y < 360; y += 5)
        for (int x = 0; x < 640; x += 5) {
            // 40 points from the left and from the bottom edge, 300 × 160.
            const bool inBox = x >= 40 && x < 340 && y >= 360 - 200 && y < 360 - 40;
            ASSERT_EQ(plain.pixel(x, y), plain.pixel(0, 0));
            ASSERT_EQ(boxed.pixel(x, y) != plain.pixel(x, y), inBox) << x << "," << y;
        }
}
