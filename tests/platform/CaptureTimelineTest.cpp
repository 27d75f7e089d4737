#include "platform/CaptureTimeline.h"

#include <gtest/gtest.h>
#include <numeric>

namespace {

// Frames numbered 0, 1, 2 … in every channel, so order and cuts can be checked.
std::vector<float> ramp(std::int64_t first, std::int64_t frames, int channels)
{
    std::vector<float> out;
    for (std::int64_t f = first; f < first + frames; ++f)
        for (int c = 0; c < channels; ++c)
            out.push_back(float(f));
    return out;
}

struct Feed {
    CaptureTimeline timeline;
    int channels;
    std::int64_t next = 0;
    std::vector<CaptureBuffer> out;

    void push(std::int64_t frames, double heardAt)
    {
        const std::vector<float> data = ramp(next, frames, channels);
        next += frames;
        for (CaptureBuffer& b : timeline.push(data.data(), frames, heardAt))
            out.push_back(std::move(b));
    }
};

} // namespace

TEST(CaptureTimeline, FixedBuffersCountFramesFromTheFirstReadAndIgnoreJitter)
{
    Feed feed{CaptureTimeline(48000, 1, 4096), 1};
    // Reads of 0.1 s whose reported times wobble by up to 8 ms.
    const double jitter[] = {0, 0.008, -0.006, 0.004, -0.008, 0.002, 0.007, -0.003, 0, 0.005};
    for (int i = 0; i < 10; ++i)
        feed.push(4800, 100.0 + i * 0.1 + jitter[i]);

    ASSERT_EQ(feed.out.size(), 48000u / 4096); // 11 full buffers; the rest waits for more
    for (std::size_t i = 0; i < feed.out.size(); ++i) {
        const CaptureBuffer& b = feed.out[i];
        EXPECT_EQ(b.frames(), 4096);
        EXPECT_EQ(b.sampleRate, 48000);
        EXPECT_DOUBLE_EQ(b.hostTime, 100.0 + double(i * 4096) / 48000) << i;
        EXPECT_EQ(b.samples.front(), float(i * 4096)) << i;
        EXPECT_EQ(b.samples.back(), float(i * 4096 + 4095)) << i;
    }
}

TEST(CaptureTimeline, AReadHeardEarlierThanCountedMovesTheAnchorAtOnce)
{
    Feed feed{CaptureTimeline(48000, 2, 4096), 2};
    feed.push(4800, 50.03); // this read was held up 30 ms
    feed.push(4800, 50.1);  // so the count runs 30 ms late

    ASSERT_EQ(feed.out.size(), 3u);
    EXPECT_EQ(feed.out[0].frames(), 4096);
    EXPECT_DOUBLE_EQ(feed.out[0].hostTime, 50.03);
    // What was held when the anchor moved leaves short, at its own time.
    EXPECT_EQ(feed.out[1].frames(), 4800 - 4096);
    EXPECT_DOUBLE_EQ(feed.out[1].hostTime, 50.03 + 4096.0 / 48000);
    EXPECT_EQ(feed.out[1].samples.size(), std::size_t(2 * (4800 - 4096)));
    // From there on, frames count from the earlier time.
    EXPECT_EQ(feed.out[2].frames(), 4096);
    EXPECT_DOUBLE_EQ(feed.out[2].hostTime, 50.1);
    EXPECT_EQ(feed.out[2].samples.front(), 4800.0f);
}

TEST(CaptureTimeline, LateReadsMoveTheAnchorOnlyWhenTheyKeepComing)
{
    // Each read is 0.1 s and one buffer; `late` is how far behind the count each is reported.
    struct Case {
        std::vector<double> late;
        std::vector<double> expected; // buffer times
    };
    for (const Case& c : {
             // One read held up by 80 ms changes nothing.
             Case{{0, 0.08, 0, 0}, {10.0, 10.1, 10.2, 10.3}},
             // Two in a row still count as hiccups; within the tolerance counts as on time.
             Case{{0, 0.08, 0.08, 0.015, 0.08}, {10.0, 10.1, 10.2, 10.3, 10.4}},
             // Half a second missing for good: the third late read takes its own time.
             Case{{0, 0.5, 0.5, 0.5, 0.5}, {10.0, 10.1, 10.2, 10.8, 10.9}},
         }) {
        Feed feed{CaptureTimeline(48000, 1), 1};
        for (std::size_t i = 0; i < c.late.size(); ++i)
            feed.push(4800, 10.0 + 0.1 * double(i) + c.late[i]);
        ASSERT_EQ(feed.out.size(), c.expected.size());
        for (std::size_t i = 0; i < c.expected.size(); ++i)
            EXPECT_NEAR(feed.out[i].hostTime, c.expected[i], 1e-9) << "read " << i << " of case with " << c.late[1];
    }
}

TEST(CaptureTimeline, ReportedLossTakesTheNextReportedTime)
{
    Feed feed{CaptureTimeline(48000, 1), 1};
    feed.push(480, 10.0);
    feed.timeline.lose();
    feed.push(480, 10.015); // within the tolerance, but the frames between are gone
    ASSERT_EQ(feed.out.size(), 2u);
    EXPECT_DOUBLE_EQ(feed.out[1].hostTime, 10.015);
}
