#include "session/LevelMeter.h"
#include "session/LevelTrack.h"
#include "session/LiveMeter.h"
#include "support/TestSupport.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <thread>

TEST(LevelMeter, OneValuePerCompletedWindow)
{
    LevelMeter meter;
    EXPECT_EQ(meter.samplesPerWindow(), 12000);
    std::vector<float> samples(12000);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = (i % 2 ? 0.5f : -0.5f) * float(i % 3 + 1) / 3.0f;
    meter.feed(samples.data(), 11999);
    EXPECT_TRUE(meter.rms.empty());
    meter.feed(samples.data() + 11999, 1);
    // Amplitudes 1/6, 2/6 and 3/6 in turn: the mean square is 14/108.
    ASSERT_EQ(meter.rms.size(), 1u);
    EXPECT_NEAR(meter.rms[0], 0.360041, 1e-6);
    meter.feed(samples.data(), 0);
    EXPECT_EQ(meter.rms.size(), 1u);

    // Window sizes for other rates: truncated, at least one sample.
    EXPECT_EQ(LevelMeter(0.25, 44100).samplesPerWindow(), 11025);
    EXPECT_EQ(LevelMeter(0.25, 2).samplesPerWindow(), 1);
}

TEST(LevelMeter, SilenceCountsLikeZeros)
{
    std::vector<float> tone(7000, 0.3f);
    LevelMeter fed, counted;
    std::vector<float> zeros(30001, 0.0f);
    for (LevelMeter* m : {&fed, &counted})
        m->feed(tone.data(), int64_t(tone.size()));
    fed.feed(zeros.data(), int64_t(zeros.size()));
    counted.feedSilence(30001);
    counted.feedSilence(0);
    counted.feedSilence(-5);
    EXPECT_EQ(fed.rms, counted.rms);
    EXPECT_EQ(counted.rms.size(), 3u);
}

TEST(LevelTrack, ValueAt)
{
    const LevelTrack track{10, {0.1f, 0.2f}, 0.25};
    const std::pair<double, float> cases[] = {{9.99, 0}, {10.0, 0.1f}, {10.3, 0.2f}, {10.5, 0}, {-1e9, 0}, {1e12, 0}};
    for (const auto& [t, expected] : cases)
        EXPECT_EQ(track.value(t), expected) << t;
    EXPECT_EQ(track.end(), 10.5);
    EXPECT_EQ(LevelTrack{}.end(), 0);
}

TEST(LiveMeter, RisesAtOnceAndFallsSlowly)
{
    struct Case {
        float start;
        float rms;
        float expected;
    };
    const Case cases[] = {
        {0, 0, 0},           // silence
        {0, 1, 1},           // 52/40 clamped
        {0, 0.01f, 0.3f},    // −40 dBFS
        {0.8f, 0, 0.688f},   // slow fall
        {0.2f, 0.01f, 0.3f}, // instant rise
        {0.5f, std::numeric_limits<float>::quiet_NaN(), 0.43f},
    };
    for (const Case& c : cases) {
        LiveMeter meter;
        meter.setMic(c.start);
        meter.feedMic(c.rms);
        EXPECT_NEAR(meter.mic(), c.expected, 1e-5) << c.start << " " << c.rms;
    }
}

TEST(LiveMeter, StartsIdleAndPulsesOnTheClock)
{
    FixedClock clock;
    LiveMeter meter;
    EXPECT_EQ(meter.mic(), 0);
    EXPECT_FALSE(meter.active());
    EXPECT_LT(meter.pulseAt(), QDateTime(QDate(1970, 1, 1), QTime(0, 0), QTimeZone::utc()));
    meter.pulse();
    EXPECT_EQ(meter.pulseAt(), clock.now());

    // The recorder feeds one instance from its audio thread and the orbs read it on
    // the main thread.
    const float before = LiveMeter::shared().mic();
    std::thread([] { LiveMeter::shared().setMic(0.625f); }).join();
    EXPECT_EQ(LiveMeter::shared().mic(), 0.625f);
    LiveMeter::shared().setMic(before);
}
