#include "DesktopHelpers.h"
#include "platform/CaptureDevices.h"
#include "platform/CaptureError.h"
#include "platform/MediaClock.h"

#include <QTemporaryDir>
#include <QThread>
#include <cmath>
#include <gtest/gtest.h>
#include <mutex>

namespace {

// Collects buffers and interruptions from the capture thread, and how far ahead of
// the moment it was handed out a buffer's end was stamped, at most.
struct Recording {
    std::mutex mutex;
    std::vector<CaptureBuffer> buffers;
    QStringList interruptions;
    double ahead = -1e9;

    AudioSource::Handlers handlers()
    {
        return {
            .buffer =
                [this](const CaptureBuffer& b) {
                    const double now = MediaClock::now();
                    std::lock_guard lock(mutex);
                    buffers.push_back(b);
                    ahead = std::max(ahead, b.hostTime + b.seconds() - now);
                },
            .interrupted =
                [this](const QString& reason) {
                    std::lock_guard lock(mutex);
                    interruptions << reason;
                },
        };
    }
    std::vector<CaptureBuffer> take()
    {
        std::lock_guard lock(mutex);
        return std::exchange(buffers, {});
    }
    int interruptionCount()
    {
        std::lock_guard lock(mutex);
        return int(interruptions.size());
    }
    // No sound is stamped later than it was handed out, give or take the tolerance
    // of the anchor it is counted from (0.02 s): however loaded the machine, a
    // frame cannot have been heard after it arrived.
    void expectNothingStampedAhead()
    {
        std::lock_guard lock(mutex);
        EXPECT_LE(ahead, 0.02 + 1e-6);
    }
};

// Where the first loud frame lies on the media clock, and how many loud frames
// there are, looking at channel `channel`. A sample counts as loud above 0.1.
struct Heard {
    double onset = -1;
    std::int64_t loudFrames = 0;
};
Heard listen(const std::vector<CaptureBuffer>& buffers, int channel = 0)
{
    Heard h;
    for (const CaptureBuffer& b : buffers) {
        for (std::int64_t f = 0; f < b.frames(); ++f) {
            if (std::abs(b.samples[std::size_t(f * b.channels + channel)]) > 0.1f) {
                if (h.onset < 0)
                    h.onset = b.hostTime + double(f) / b.sampleRate;
                ++h.loudFrames;
            }
        }
    }
    return h;
}

// The tone is heard after paplay started; a monitor hears what its sink renders,
// which may run slightly ahead of the sink's clock, so the first frame may seem to
// come a moment before. From the other side: stamped no later than handed out
// (Recording::expectNothingStampedAhead()), not against paplay's end, which on a
// loaded machine the sound server and the test each see late by their own amount.
void expectHeardAfterStart(const Heard& heard, const Played& played)
{
    EXPECT_GT(heard.onset, played.startedAt - 0.15);
}

// Loud frames: a 0.5-amplitude sine is above 0.1 for about 87 % of the time.
constexpr double loudShare = 0.87;

// Buffers are counted on from an anchor, so each starts exactly where the one
// before ended, and is full, until the anchor moves: a buffer cut short by the
// move comes out on its own. How often it moves depends on how late the reads
// come, which is up to the machine's load, so only the rule is checked.
void expectFullUnlessTheAnchorMoved(const std::vector<CaptureBuffer>& buffers, std::int64_t frames)
{
    for (std::size_t i = 0; i < buffers.size(); ++i) {
        EXPECT_LE(buffers[i].frames(), frames) << "buffer " << i;
        if (i + 1 == buffers.size())
            break;
        const double gap = buffers[i + 1].hostTime - (buffers[i].hostTime + buffers[i].seconds());
        if (std::abs(gap) < 1e-6) {
            EXPECT_EQ(buffers[i].frames(), frames) << "buffer " << i << " was cut short without a move";
        }
    }
}

void settle()
{
    QThread::msleep(400);
}

// Plays a tone into a sink while a started source captures, then stops the source.
struct Capture {
    Played played;
    std::vector<CaptureBuffer> buffers; // what came while the tone played
};
Capture playThenStop(AudioSource& source, Recording& rec, const QString& tone, const QString& sink)
{
    settle();
    rec.take();
    Capture c;
    c.played = play(tone, sink);
    settle();
    source.stop();
    c.buffers = rec.take();
    return c;
}

} // namespace

TEST(PulseSource, SystemAudioHearsTheSpeakerAsStereo48kOnTheMediaClock)
{
    QTemporaryDir dir;
    const QString tone = makeTone(dir.path(), 0.6, 440);
    auto source = CaptureDevices::system().systemAudio();
    const AudioSource::Format format = source->format();
    EXPECT_EQ(format.sampleRate, 48000);
    EXPECT_EQ(format.channels, 2);
    EXPECT_EQ(format.device, "spk.monitor");

    Recording rec;
    source->start(rec.handlers());
    const auto [played, buffers] = playThenStop(*source, rec, tone, "spk");
    ASSERT_TRUE(played.ok);

    ASSERT_FALSE(buffers.empty());
    for (const CaptureBuffer& b : buffers) {
        ASSERT_EQ(b.sampleRate, 48000);
        ASSERT_EQ(b.channels, 2);
    }
    // Heard on both sides of the stereo pair, after it was played.
    for (int channel : {0, 1}) {
        SCOPED_TRACE(channel);
        const Heard heard = listen(buffers, channel);
        expectHeardAfterStart(heard, played);
        EXPECT_NEAR(double(heard.loudFrames), 0.6 * 48000 * loudShare, 0.1 * 48000) << channel;
    }
    rec.expectNothingStampedAhead();
    EXPECT_EQ(rec.interruptionCount(), 0);
}

TEST(PulseSource, MicrophoneHearsTheDefaultSourceIn4096FrameBuffers)
{
    QTemporaryDir dir;
    const QString tone = makeTone(dir.path(), 0.6, 660);
    auto source = CaptureDevices::system().microphone();
    const AudioSource::Format format = source->format();
    EXPECT_EQ(format.device, "vmic");
    EXPECT_EQ(format.sampleRate, 48000);
    EXPECT_EQ(format.channels, 1);

    Recording rec;
    source->start(rec.handlers());
    const auto [played, buffers] = playThenStop(*source, rec, tone, "micfeed");
    ASSERT_TRUE(played.ok);

    ASSERT_FALSE(buffers.empty());
    for (const CaptureBuffer& b : buffers)
        EXPECT_EQ(b.channels, 1);
    expectFullUnlessTheAnchorMoved(buffers, 4096);
    const Heard heard = listen(buffers);
    expectHeardAfterStart(heard, played);
    EXPECT_NEAR(double(heard.loudFrames), 0.6 * 48000 * loudShare, 0.1 * 48000);
    rec.expectNothingStampedAhead();
    EXPECT_EQ(rec.interruptionCount(), 0);
}

TEST(PulseSource, MicrophoneReportsAChangedDefaultAndRestartsOnTheNewOne)
{
    QTemporaryDir dir;
    const QString tone = makeTone(dir.path(), 0.5, 550);
    struct Restore {
        ~Restore() { run("pactl", {"set-default-source", "vmic"}); }
    } restore;

    auto source = CaptureDevices::system().microphone();
    Recording rec;
    source->start(rec.handlers());
    ASSERT_TRUE(waitFor([&] { return !rec.take().empty(); }, 30));

    ASSERT_TRUE(run("pactl", {"set-default-source", "spk.monitor"}));
    ASSERT_TRUE(waitFor([&] { return rec.interruptionCount() > 0; }, 30));
    EXPECT_EQ(rec.interruptions.value(0), "the default microphone changed to \"spk.monitor\"");

    // What the owner does with it: stop, and start again on the new default.
    source->stop();
    EXPECT_EQ(source->format().device, "spk.monitor");
    source->start(rec.handlers());
    const auto [played, after] = playThenStop(*source, rec, tone, "spk");
    ASSERT_TRUE(played.ok);
    expectHeardAfterStart(listen(after), played);
    rec.expectNothingStampedAhead();
    EXPECT_EQ(rec.interruptionCount(), 1);
}

TEST(PulseSource, SystemAudioFollowsTheDefaultOutput)
{
    QTemporaryDir dir;
    const QString tone = makeTone(dir.path(), 0.5, 880);
    struct Restore {
        ~Restore() { run("pactl", {"set-default-sink", "spk"}); }
    } restore;

    auto source = CaptureDevices::system().systemAudio();
    Recording rec;
    source->start(rec.handlers());
    settle();
    ASSERT_TRUE(run("pactl", {"set-default-sink", "micfeed"}));
    const auto [played, buffers] = playThenStop(*source, rec, tone, "micfeed");
    ASSERT_TRUE(played.ok);
    expectHeardAfterStart(listen(buffers), played);
    rec.expectNothingStampedAhead();
    EXPECT_EQ(rec.interruptionCount(), 0);
}

TEST(PulseSource, WithoutASoundServerThereIsNoFormatAndStartSaysWhy)
{
    qputenv("PULSE_SERVER", "unix:/nonexistent/zelvan-no-server");
    std::unique_ptr<AudioSource> sources[] = {CaptureDevices::system().microphone(),
                                              CaptureDevices::system().systemAudio()};
    for (auto& source : sources) {
        EXPECT_FALSE(source->format().usable());
        try {
            source->start({});
            ADD_FAILURE() << "started without a server";
        } catch (const CaptureError& e) {
            EXPECT_TRUE(e.description().startsWith("cannot reach the sound server: ")) << e.description().toStdString();
        }
    }
}
