#include "AudioFixture.h"
#include "core/Log.h"
#include "core/Paths.h"
#include "platform/AudioReader.h"
#include "session/LevelReader.h"
#include "session/Mixer.h"
#include "session/MonoWriter.h"
#include "support/TestSupport.h"

#include <QFile>
#include <gtest/gtest.h>

TEST(MonoWriter, FirstWriteSetsTheOffset)
{
    TempSupport support;
    const std::pair<std::optional<double>, double> cases[] = {{std::nullopt, 0.0}, {-0.3, 0.0}, {2.5, 2.5}};
    for (const auto& [t, offset] : cases) {
        MonoWriter w(support.file("track.m4a"));
        EXPECT_FALSE(w.offset());
        w.write(silence(48000, 1, 0), t); // empty buffers change nothing
        EXPECT_FALSE(w.offset());
        w.write(tone(48000, 1, 0.5, 440, 0.1f), t);
        EXPECT_EQ(w.offset(), offset);
        EXPECT_EQ(w.framesWritten(), 24000); // no silence before the first buffer
        w.close();
    }
}

// Holes longer than 0.05 s are filled with silence (up to an hour); shorter
// ones, overlaps and untimed buffers are appended as they are.
TEST(MonoWriter, GapsOnTheTimeline)
{
    TempSupport support;
    struct Case {
        const char* what;
        std::optional<double> third;
        int64_t silentFrames;
    };
    const Case cases[] = {
        {"small gap appended", 2.03125, 0},
        {"gap of 0.0625 s padded", 2.0625, 3000},
        {"overlap appended", 1.75, 0},
        {"untimed appended", std::nullopt, 0},
        {"two hours capped at one", 2.0 + 7200, 172'800'000},
    };
    for (const Case& c : cases) {
        MonoWriter w(support.file("gap.m4a"));
        const PcmBuffer half = tone(48000, 1, 0.5, 440, 0.1f);
        w.write(half, 1.0);
        w.write(half, 1.5);
        EXPECT_EQ(w.framesWritten(), 48000) << c.what;
        w.write(half, c.third);
        EXPECT_EQ(w.framesWritten(), 72000 + c.silentFrames) << c.what;
        // The next buffer follows the third one's own time, not the end of the file.
        const double after = (c.third ? *c.third : 2.0) + 0.5;
        w.write(half, after);
        EXPECT_EQ(w.framesWritten(), 96000 + c.silentFrames) << c.what;
        w.close();
        EXPECT_FALSE(w.lastError()) << c.what;
        EXPECT_EQ(int64_t(w.meter().rms.size()), (96000 + c.silentFrames) / 12000) << c.what;
        // The level curve starts where the track does in the session.
        const LevelTrack levels = w.levels();
        EXPECT_EQ(levels.offset, 1.0) << c.what;
        EXPECT_EQ(levels.rms.size(), w.meter().rms.size()) << c.what;
        if (c.silentFrames > 1'000'000) {
            // The hour of silence is in the file, not only in the count.
            EXPECT_NEAR(Mixer::duration(w.path()), 3602.0, 0.05);
            EXPECT_EQ(w.meter().rms[100], 0.0f);
        }
    }
}

TEST(MonoWriter, ConvertsAnyRateAndChannelCount)
{
    TempSupport support;
    MonoWriter w(support.file("conv.m4a"));
    const PcmBuffer stereo = tone(44100, 2, 0.1, 440, 0.2f);
    ASSERT_EQ(stereo.frames(), 4410);
    for (int i = 0; i < 10; ++i)
        w.write(stereo, 1.0 + 0.1 * i);
    // 4410 frames at 44.1 kHz move the expected time by exactly 0.1 s: no padding.
    EXPECT_NEAR(w.duration(), 1.0, 0.002);
    const int64_t before = w.framesWritten();
    w.write(stereo, 2.0 + 0.06);
    EXPECT_NEAR(double(w.framesWritten() - before), 0.06 * 48000 + 4800, 40);
    w.close();
    EXPECT_FALSE(w.lastError());

    AudioReader reader(QFile::encodeName(w.path()).toStdString());
    EXPECT_EQ(reader.codec(), "aac");
    EXPECT_EQ(reader.sampleRate(), 48000);
    EXPECT_EQ(reader.channels(), 1);
    // Channels are averaged: a tone on both sides keeps its level (RMS 0.2 / √2).
    const auto levels = LevelReader::levels(w.path());
    ASSERT_GE(levels.size(), 3u);
    EXPECT_NEAR(levels[1], 0.1414f, 0.01f);
}

TEST(MonoWriter, HasAudioAfterAQuarterSecond)
{
    TempSupport support;
    MonoWriter w(support.file("short.m4a"));
    w.write(tone(48000, 1, 0.25, 440, 0.1f), 0.0);
    EXPECT_EQ(w.framesWritten(), 12000);
    EXPECT_FALSE(w.hasAudio());
    w.write(PcmBuffer{48000, 1, {0.1f}}, std::nullopt);
    EXPECT_TRUE(w.hasAudio());
    w.close();
    EXPECT_TRUE(w.hasAudio());
    const QByteArray finished = readFile(w.path());
    w.write(tone(48000, 1, 0.5, 440, 0.1f), 1.0); // after close: dropped, the file stays
    EXPECT_EQ(w.framesWritten(), 12001);
    EXPECT_EQ(readFile(w.path()), finished);
    QFile::remove(w.path());
    EXPECT_FALSE(w.hasAudio());
}

TEST(MonoWriter, FailuresAreKeptAndLoggedOnce)
{
    TempSupport support;
    MonoWriter w(support.file("bad.m4a"));
    w.write(PcmBuffer{0, 1, {0.1f, 0.2f}}, 0.0);
    EXPECT_EQ(w.lastError(), "no converter from 0 Hz, 1 ch, float");
    EXPECT_FALSE(w.offset());
    w.write(PcmBuffer{48000, 0, {}}, 0.0); // no frames: ignored
    w.write(PcmBuffer{44100.5, 2, {0.1f, 0.2f}}, 0.0);
    EXPECT_EQ(w.lastError(), "no converter from 44100.5 Hz, 2 ch, float");

    MonoWriter nowhere(support.file("missing/folder/x.m4a"));
    nowhere.write(tone(48000, 1, 0.1, 440, 0.1f), 0.0);
    ASSERT_TRUE(nowhere.lastError());
    EXPECT_TRUE(nowhere.lastError()->startsWith("cannot create ")) << nowhere.lastError()->toStdString();
    EXPECT_EQ(nowhere.framesWritten(), 0);

    slogFlush();
    const QString log = QString::fromUtf8(readFile(Paths::logFile()));
    EXPECT_EQ(log.count("audio write bad.m4a: no converter from 0 Hz"), 1) << log.toStdString();
    EXPECT_EQ(log.count("audio write bad.m4a: "), 1);
    EXPECT_EQ(log.count("audio write x.m4a: "), 1);
}

// Sound is on disk early: a track still being written decodes before its first
// second is over, so a crash a few seconds in keeps most of what was said.
TEST(MonoWriter, TheFirstSecondIsOnDiskWhileTheTrackIsOpen)
{
    TempSupport support;
    MonoWriter w(support.file("track.m4a"));
    for (int i = 0; i < 10; ++i)
        w.write(tone(48000, 1, 0.1, 440, 0.3f), 0.1 * i);
    // Read through another handle while the writer is still open, as after a crash.
    const auto levels = LevelReader::levels(support.file("track.m4a"));
    EXPECT_GE(levels.size(), 1u) << "at least a quarter of a second decodes";
    w.close();
}
