#include "DesktopHelpers.h"
#include "platform/CaptureDevices.h"
#include "platform/CaptureError.h"

#include <QTemporaryDir>
#include <QThread>
#include <cmath>
#include <gtest/gtest.h>
#include <mutex>

namespace {

// Collects buffers and interruptions from the capture thread.
struct Recording {
    std::mutex mutex;
    std::vector<CaptureBuffer> buffers;
    QStringList interruptions;

    AudioSource::Handlers handlers()
    {
        return {
            .buffer =
                [this](const CaptureBuffer& b) {
                    std::lock_guard lock(mutex);
                    buffers.push_back(b);
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

// paplay ends once the tone has been played out, a little after its last frame was
// heard; paplay's own start-up can take a while. So the tone's first frame must lie
// `seconds` before paplay ended, give or take that little. A monitor hears what its
// sink renders, which may run slightly ahead of the sink's clock, so the first frame
// may seem to come a moment before paplay was even started.
void expectHeardWhilePlaying(const Heard& heard, const Played& played, double seconds)
{
    EXPECT_GT(heard.onset, played.startedAt - 0.15);
    EXPECT_LT(heard.onset, played.endedAt - seconds + 0.05);
    EXPECT_GT(heard.onset, played.endedAt - seconds - 0.3);
}

// Loud frames: a 0.5-amplitude sine is above 0.1 for about 87 % of the time.
constexpr double loudShare = 0.87;

// Each buffer starts where the one before ended, give or take the anchor's tolerance.
void expectContiguous(const std::vector<CaptureBuffer>& buffers)
{
    for (std::size_t i = 1; i < buffers.size(); ++i) {
        const double gap = buffers[i].hostTime - (buffers[i - 1].hostTime + buffers[i - 1].seconds());
        EXPECT_LT(std::abs(gap), 0.03) << "buffer " << i;
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
    expectContiguous(buffers);
    // Heard on both sides of the stereo pair, after it was played and before paplay ended.
    for (int channel : {0, 1}) {
        SCOPED_TRACE(channel);
        const Heard heard = listen(buffers, channel);
        expectHeardWhilePlaying(heard, played, 0.6);
        EXPECT_NEAR(double(heard.loudFrames), 0.6 * 48000 * loudShare, 0.1 * 48000) << channel;
    }
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
    for (const CaptureBuffer& b : buffers) {
        EXPECT_EQ(b.frames(), 4096);
        EXPECT_EQ(b.channels, 1);
    }
    expectContiguous(buffers);
    const Heard heard = listen(buffers);
    expectHeardWhilePlaying(heard, played, 0.6);
    EXPECT_NEAR(double(heard.loudFrames), 0.6 * 48000 * loudShare, 0.1 * 48000);
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
    ASSERT_TRUE(waitFor([&] { return !rec.take().empty(); }, 5));

    ASSERT_TRUE(run("pactl", {"set-default-source", "spk.monitor"}));
    ASSERT_TRUE(waitFor([&] { return rec.interruptionCount() > 0; }, 5));
    EXPECT_EQ(rec.interruptions.value(0), "the default microphone changed to \"spk.monitor\"");

    // What the owner does with it: stop, and start again on the new default.
    source->stop();
    EXPECT_EQ(source->format().device, "spk.monitor");
    source->start(rec.handlers());
    const auto [played, after] = playThenStop(*source, rec, tone, "spk");
    ASSERT_TRUE(played.ok);
    expectHeardWhilePlaying(listen(after), played, 0.5);
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
    expectHeardWhilePlaying(listen(buffers), played, 0.5);
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
