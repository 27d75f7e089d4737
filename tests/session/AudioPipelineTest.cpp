// The audio path end to end on real files: two call tracks through the writers,
// their levels and speech spans, read back from disk, and their mix.
#include "AudioFixture.h"
#include "platform/AudioReader.h"
#include "platform/MediaError.h"
#include "session/AudioError.h"
#include "session/LevelReader.h"
#include "session/Mixer.h"
#include "session/MonoWriter.h"
#include "session/Speaking.h"
#include "support/TestSupport.h"

#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <gtest/gtest.h>

namespace {

// The other side (48 kHz stereo 440 Hz, with a 1.5 s pause in the source) written
// at +0.3 s, the user (44.1 kHz mono 660 Hz) at +1.0 s.
struct CallFixture {
    MonoWriter system;
    MonoWriter mic;

    explicit CallFixture(const TempSupport& dir)
        : system(dir.file("system.m4a"))
        , mic(dir.file("mic.m4a"))
    {
        auto chunks = [](double from, double bound, auto&& each) {
            for (double s = from; s < bound; s += 0.1)
                each(s);
        };
        auto always = [](double) { return true; };
        auto speaks = [](double t) { return (t >= 1.5 && t < 2.0) || (t >= 2.4 && t < 2.7) || (t >= 3.2 && t < 3.8); };
        const auto writeSystem = [&](double s) { system.write(tone(48000, 2, 0.1, 440, 0.2f, always, s), s + 0.3); };
        chunks(0.0, 2 - 1e-9, writeSystem);
        chunks(3.5, 6 - 1e-9, writeSystem);
        chunks(0.0, 4 - 1e-9, [&](double s) { mic.write(tone(44100, 1, 0.1, 660, 0.1f, speaks, s), s + 1.0); });
        system.close();
        mic.close();
    }
};

std::vector<std::pair<double, double>> pairs(const std::vector<Span>& spans)
{
    std::vector<std::pair<double, double>> out;
    for (const Span& s : spans)
        out.emplace_back(s.t, s.end);
    return out;
}

void expectCallSpans(const Speaking::Spans& spans)
{
    ASSERT_EQ(spans.tab.size(), 2u) << ::testing::PrintToString(pairs(spans.tab));
    EXPECT_NEAR(spans.tab[0].t, 0.3, 0.3);
    EXPECT_NEAR(spans.tab[0].end, 2.3, 0.3);
    EXPECT_NEAR(spans.tab[1].t, 3.8, 0.3);
    EXPECT_NEAR(spans.tab[1].end, 6.3, 0.3);
    ASSERT_EQ(spans.mic.size(), 1u) << ::testing::PrintToString(pairs(spans.mic));
    EXPECT_NEAR(spans.mic[0].t, 2.5, 0.3);
    EXPECT_NEAR(spans.mic[0].end, 3.7, 0.3);
}

} // namespace

TEST(AudioPipeline, CallTracksLevelsSpansAndMix)
{
    TempSupport dir;
    CallFixture call(dir);

    EXPECT_FALSE(call.system.lastError());
    EXPECT_FALSE(call.mic.lastError());
    EXPECT_NEAR(call.system.duration(), 6.0, 0.02); // the source pause was padded
    EXPECT_NEAR(call.mic.duration(), 4.0, 0.02);    // 44.1 k resampled to 48 k
    EXPECT_EQ(call.system.offset(), 0.3);
    EXPECT_EQ(call.mic.offset(), 1.0);
    for (const MonoWriter* w : {&call.system, &call.mic}) {
        AudioReader reader(QFile::encodeName(w->path()).toStdString());
        EXPECT_EQ(reader.codec(), "aac");
        EXPECT_EQ(reader.sampleRate(), 48000);
        EXPECT_EQ(reader.channels(), 1);
        EXPECT_NEAR(Mixer::duration(w->path()), w->duration(), 0.03);
    }

    // Spans from the live levels and from the decoded files agree.
    expectCallSpans(Speaking::spans(LevelTrack{1.0, call.mic.meter().rms}, LevelTrack{0.3, call.system.meter().rms}));
    expectCallSpans(Speaking::spans(LevelTrack{1.0, LevelReader::levels(call.mic.path())},
                                    LevelTrack{0.3, LevelReader::levels(call.system.path())}));

    const QString mixed = dir.file("mixed.m4a");
    Mixer::mix({{call.system.path(), 0.3}, {call.mic.path(), 1.0}}, mixed);
    EXPECT_NEAR(Mixer::duration(mixed), 6.3, 0.15);
    const auto levels = LevelReader::levels(mixed);
    ASSERT_GE(levels.size(), 12u);
    EXPECT_GT(levels[4], 0.08f);  // the other side at 1.0 s
    EXPECT_GT(levels[11], 0.03f); // the user at 2.75 s
    EXPECT_LT(levels[0], 0.01f);  // silence before the first track
    EXPECT_GT(QFileInfo(mixed).size(), 10000);
    EXPECT_EQ(fileMode(mixed), 0600);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).filter("mixing").size(), 0);
}

// FFmpeg and the hundred libraries it brings are tens of megabytes: they go
// when the last track is written and read, and come back for the next.
TEST(AudioPipeline, FFmpegIsUnloadedOnceNothingUsesIt)
{
    const auto mapped = [] { return libraryLoaded("libavcodec.so"); };
    TempSupport dir;
    for (int round = 0; round < 2; ++round) {
        CallFixture call(dir);
        EXPECT_FALSE(call.system.lastError());
        Mixer::mix({{call.system.path(), 0.3}, {call.mic.path(), 1.0}}, dir.file("mixed.m4a"));
        {
            AudioReader reader(QFile::encodeName(dir.file("mixed.m4a")).toStdString());
            EXPECT_TRUE(mapped());
            EXPECT_NEAR(Mixer::duration(dir.file("mixed.m4a")), 6.3, 0.15);
        }
        EXPECT_FALSE(mapped()) << "round " << round;
    }
}

TEST(Mixer, SumsWithoutScalingAndClamps)
{
    TempSupport dir;
    auto track = [&](const QString& name, float amp) {
        MonoWriter w(dir.file(name));
        w.write(tone(48000, 1, 2.0, 440, amp), 0.0);
        w.close();
        return w.path();
    };
    const QString a = track("a.m4a", 0.3f);
    const QString b = track("b.m4a", 0.3f);
    const QString loud = track("loud.m4a", 0.9f);

    // Two tracks in phase add up: no 1/N scaling.
    Mixer::mix({{a, 0}, {b, 0}}, dir.file("sum.m4a"));
    const auto sum = LevelReader::levels(dir.file("sum.m4a"));
    ASSERT_GE(sum.size(), 4u);
    EXPECT_NEAR(sum[2], 0.6f / std::sqrt(2.0f), 0.02f);

    // A 1.8 peak is clamped to 1: unclamped it would measure 1.27, scaled by
    // 1/2 0.64; the clipped sine measures 0.87 before the encoder's losses.
    Mixer::mix({{loud, 0}, {loud, 0}}, dir.file("clip.m4a"));
    const auto clip = LevelReader::levels(dir.file("clip.m4a"));
    ASSERT_GE(clip.size(), 4u);
    EXPECT_GT(clip[2], 0.75f);
    EXPECT_LT(clip[2], 0.95f);
}

TEST(Mixer, TellsTheSecondsWrittenBlockByBlock)
{
    TempSupport dir;
    MonoWriter w(dir.file("one.m4a"));
    w.write(tone(48000, 1, 3.0, 440, 0.3f), 0.0);
    w.close();
    std::vector<double> heard;
    Mixer::mix({{w.path(), 1.0}}, dir.file("out.m4a"), [&](double seconds) { heard.push_back(seconds); });
    // Four seconds in blocks of a third of a second.
    ASSERT_GE(heard.size(), 10u);
    EXPECT_TRUE(std::is_sorted(heard.begin(), heard.end()));
    EXPECT_NEAR(heard.back(), 4.0, 0.05);
}

TEST(Mixer, InputsAndOutput)
{
    TempSupport dir;
    MonoWriter w(dir.file("one.m4a"));
    w.write(tone(48000, 1, 1.0, 440, 0.2f), 0.0);
    w.close();
    const QImage picture(16, 16, QImage::Format_RGB32);
    ASSERT_TRUE(picture.save(dir.file("picture.png")));
    const QString out = dir.file("mixed.m4a");

    try {
        Mixer::mix({}, out);
        FAIL() << "an empty list mixed";
    } catch (const AudioError& e) {
        EXPECT_EQ(e.description(), "nothing to mix");
        EXPECT_EQ(e.kind(), AudioError::Kind::exportFailed);
    }
    EXPECT_THROW(Mixer::mix({{dir.file("picture.png"), 0}}, out), AudioError);

    // A file without sound is skipped; a negative offset counts as 0; an existing output is replaced.
    writeFile(out, "old");
    Mixer::mix({{dir.file("picture.png"), 0}, {w.path(), -2}}, out);
    EXPECT_NEAR(Mixer::duration(out), 1.0, 0.03);
    EXPECT_GT(LevelReader::levels(out).at(0), 0.1f);

    // A missing input fails the mix and leaves the last good output alone.
    const QByteArray before = readFile(out);
    EXPECT_THROW(Mixer::mix({{w.path(), 0}, {dir.file("missing.m4a"), 0}}, out), MediaError);
    EXPECT_EQ(readFile(out), before);

    EXPECT_EQ(Mixer::duration(dir.file("missing.m4a")), 0);
    EXPECT_THROW(LevelReader::levels(dir.file("missing.m4a")), MediaError);
}

TEST(LevelReader, WindowsAtTheFilesOwnRateFromTheFirstChannel)
{
    TempSupport dir;
    struct Case {
        const char* what;
        PcmBuffer buffer;
        size_t values;
        float level;
    };
    PcmBuffer leftOnly = tone(44100, 2, 1.0, 440, 0.5f);
    for (size_t i = 1; i < leftOnly.samples.size(); i += 2)
        leftOnly.samples[i] = 0;
    const Case cases[] = {
        {"1 s at 44.1 kHz", tone(44100, 1, 1.0, 440, 0.5f), 4, 0.3536f},
        {"0.2 s: no whole window", tone(44100, 1, 0.2, 440, 0.5f), 0, 0},
        {"stereo: the first channel only", leftOnly, 4, 0.3536f},
        {"silence", silence(16000, 1, 0.5), 2, 0},
    };
    for (const Case& c : cases) {
        writeFile(dir.file("in.wav"), wav(c.buffer));
        const auto levels = LevelReader::levels(dir.file("in.wav"));
        ASSERT_EQ(levels.size(), c.values) << c.what;
        for (float v : levels)
            EXPECT_NEAR(v, c.level, 0.002f) << c.what;
    }
}
