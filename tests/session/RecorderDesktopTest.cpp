// A real recording on the private desktop: a window whose text changes, a tone
// into the speaker and one into the microphone feed, the default microphone
// switched half way.
#include "../platform/DesktopHelpers.h"

#include "core/Log.h"
#include "core/Paths.h"
#include "session/Recorder.h"
#include "support/TestSupport.h"
#include "support/TextImages.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QWindow>
#include <gtest/gtest.h>
#include <limits>

namespace {

// Plays a file into a sink without waiting; the session times it was asked at and
// was seen to end (paplay ends once the sound has been played out, so the sound
// took no longer than that).
struct Player {
    QProcess process;
    double askedAt = 0;
    double endedAt = 0;
    void play(const QString& file, const QString& sink, const Recorder& recorder)
    {
        askedAt = recorder.elapsed();
        QObject::connect(&process, &QProcess::finished, [this, &recorder] { endedAt = recorder.elapsed(); });
        // A short latency, so the tone leaves the player at once rather than after
        // the default buffer of about two seconds.
        process.start(QStringLiteral("paplay"),
                      {QStringLiteral("--latency-msec=50"), QStringLiteral("--device=") + sink, file});
    }
    bool finish()
    {
        if (process.state() != QProcess::NotRunning)
            process.waitForFinished(20000);
        return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    }
};

QString pactl(const QStringList& args)
{
    QProcess p;
    p.start(QStringLiteral("pactl"), args);
    p.waitForFinished(10000);
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

// Runs the event loop (so the window paints) until the recording reaches t.
void until(Recorder& r, double t)
{
    waitFor([&] { return r.elapsed() >= t; }, t + 5);
}

// The span of `spans` that overlaps [from, to], if any.
std::optional<Span> overlapping(const std::vector<Span>& spans, double from, double to)
{
    for (const Span& s : spans)
        if (s.t < to && s.end > from)
            return s;
    return std::nullopt;
}

// How long `spans` are active within [from, to]: a loaded machine may split one
// sound into two spans.
double activeWithin(const std::vector<Span>& spans, double from, double to)
{
    double total = 0;
    for (const Span& s : spans)
        total += std::max(0.0, std::min(s.end, to) - std::max(s.t, from));
    return total;
}

} // namespace

TEST(RecorderDesktop, RecordsScreenBothSidesAndFollowsTheMicrophone)
{
    TempSupport support;
    QTemporaryDir scratch;
    const QString tone = makeTone(scratch.path(), 1.5, 440);
    ASSERT_TRUE(QFile::exists(tone));

    // A second microphone to switch to; both hear the microphone feed.
    const QString defaultSource = pactl({"get-default-source"});
    const QString module = pactl({"load-module", "module-remap-source", "source_name=vmic2", "master=micfeed.monitor",
                                  "rate=48000", "channels=1", "channel_map=mono"});
    ASSERT_FALSE(module.isEmpty());
    struct Restore {
        QString source, module;
        ~Restore()
        {
            pactl({"set-default-source", source});
            pactl({"unload-module", module});
        }
    } restore{defaultSource, module};

    QLabel window;
    window.setFont(TextImages::font(72, true));
    window.setAlignment(Qt::AlignCenter);
    window.setStyleSheet(QStringLiteral("background: white; color: black;"));
    window.setText(QStringLiteral("Alpha quarterly planning review"));
    window.showFullScreen();
    ASSERT_TRUE(waitFor([&] { return window.windowHandle() && window.windowHandle()->isExposed(); }, 10));
    waitFor([] { return false; }, 0.5); // painted and settled

    auto session = Session::create(QStringLiteral("Desktop"), QStringLiteral("Screen"));
    auto recorder = Recorder::create(session);
    recorder->start(true);
    ASSERT_TRUE(recorder->micOk());

    Player speaker, mic;
    until(*recorder, 1.0);
    speaker.play(tone, QStringLiteral("spk"), *recorder);
    until(*recorder, 3.5);
    window.setText(QStringLiteral("Bravo hiring plan timeline"));
    until(*recorder, 4.5);
    pactl({"set-default-source", "vmic2"});
    until(*recorder, 5.5);
    // The tone is played once the microphone records from the new source: on a
    // loaded machine the restart can take longer than the second given above.
    const QString vmic2 =
        pactl({"list", "short", "sources"}).split('\n').filter(QStringLiteral("\tvmic2\t")).value(0).section('\t', 0, 0);
    ASSERT_FALSE(vmic2.isEmpty());
    ASSERT_TRUE(waitFor(
        [&] {
            for (const QString& line : pactl({"list", "short", "source-outputs"}).split('\n'))
                if (line.section('\t', 1, 1) == vmic2)
                    return true;
            return false;
        },
        10))
        << "the microphone did not move to the new source";
    mic.play(tone, QStringLiteral("micfeed"), *recorder);
    until(*recorder, mic.askedAt + 2.5);
    ASSERT_TRUE(speaker.finish());
    ASSERT_TRUE(mic.finish());

    const auto stopped = recorder->stop();
    const auto loaded = Session::load(stopped->dir());
    ASSERT_TRUE(loaded);
    const SessionMeta& meta = loaded->meta();

    for (const char* file : {"system.m4a", "mic.m4a", "mixed.m4a"})
        EXPECT_GT(QFileInfo(stopped->path(file)).size(), 1000) << file;
    EXPECT_EQ(meta.audioFile, "mixed.m4a");
    EXPECT_TRUE(meta.micOk);
    EXPECT_TRUE(meta.ended);
    EXPECT_GE(meta.shots.size(), 2u);
    for (const ShotMeta& shot : meta.shots)
        EXPECT_TRUE(QFile::exists(stopped->path(shot.file))) << shot.file.toStdString();

    // Each tone shows on its own side, and nothing else plays there after it was
    // asked for. Spans start and end on level windows, and a monitor may hear a tone
    // a moment early: 0.3 s. A loaded machine starts paplay late and may stretch the
    // tone with gaps, and the test and the sound server each see things late by
    // their own amount; so the tone is found from when it was asked for on, and its
    // length, not its place, is bounded by the time paplay took.
    const auto expectTone = [](const std::vector<Span>& spans, const Player& player, const char* side) {
        SCOPED_TRACE(side);
        ASSERT_GT(player.endedAt, player.askedAt);
        const double from = player.askedAt - 0.3;
        const auto first = overlapping(spans, from, std::numeric_limits<double>::max());
        ASSERT_TRUE(first) << "no span";
        EXPECT_GT(first->t, from);
        const double active = activeWithin(spans, from, std::numeric_limits<double>::max());
        EXPECT_GE(active, 1.5 - 0.6);
        EXPECT_LE(active, player.endedAt - player.askedAt + 0.6);
    };
    expectTone(meta.levelsTab, speaker, "system audio");
    // Played after the default microphone changed: the track went on.
    expectTone(meta.levelsMic, mic, "microphone after the switch");
    EXPECT_FALSE(overlapping(meta.levelsMic, speaker.askedAt, std::min(speaker.endedAt, mic.askedAt)));

    ASSERT_TRUE(meta.ocr);
    QStringList texts;
    for (const OcrEntry& e : *meta.ocr)
        texts << e.text;
    EXPECT_TRUE(texts.join('\n').contains("Alpha quarterly planning review")) << texts.join('|').toStdString();
    EXPECT_TRUE(texts.join('\n').contains("Bravo hiring plan timeline")) << texts.join('|').toStdString();

    slogFlush();
    EXPECT_TRUE(readFile(Paths::logFile()).contains("audio configuration changed: restarting mic"));
}
