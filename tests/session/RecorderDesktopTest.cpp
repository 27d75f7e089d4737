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

namespace {

// Plays a file into a sink without waiting; the session time it was asked at.
struct Player {
    QProcess process;
    double askedAt = 0;
    void play(const QString& file, const QString& sink, double now)
    {
        askedAt = now;
        // A short latency, so the tone leaves the player at once rather than after
        // the default buffer of about two seconds.
        process.start(QStringLiteral("paplay"), {QStringLiteral("--latency-msec=50"), QStringLiteral("--device=") + sink, file});
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
    const QString module = pactl({"load-module", "module-remap-source", "source_name=vmic2",
                                  "master=micfeed.monitor", "rate=48000", "channels=1", "channel_map=mono"});
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
    speaker.play(tone, QStringLiteral("spk"), recorder->elapsed());
    until(*recorder, 3.5);
    window.setText(QStringLiteral("Bravo hiring plan timeline"));
    until(*recorder, 4.5);
    pactl({"set-default-source", "vmic2"});
    until(*recorder, 5.5);
    // The tone is played once the microphone records from the new source: on a
    // loaded machine the restart can take longer than the second given above.
    const QString vmic2 = pactl({"list", "short", "sources"}).split('\n').filter(QStringLiteral("\tvmic2\t")).value(0).section('\t', 0, 0);
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
    mic.play(tone, QStringLiteral("micfeed"), recorder->elapsed());
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

    // Each tone shows as a span of its own side where it was played: paplay takes a
    // moment to start (over a second on a loaded machine), and a monitor may hear
    // a tone a moment early.
    const auto tab = overlapping(meta.levelsTab, speaker.askedAt, speaker.askedAt + 1.5);
    ASSERT_TRUE(tab) << "no system-audio span";
    EXPECT_GT(tab->t, speaker.askedAt - 0.3);
    EXPECT_LT(tab->t, speaker.askedAt + 1.5);
    EXPECT_NEAR(activeWithin(meta.levelsTab, speaker.askedAt - 0.3, speaker.askedAt + 2.7), 1.5, 0.6);
    // Played after the default microphone changed: the track went on.
    const auto mine = overlapping(meta.levelsMic, mic.askedAt, mic.askedAt + 1.5);
    ASSERT_TRUE(mine) << "no microphone span after the switch";
    EXPECT_GT(mine->t, mic.askedAt - 0.3);
    EXPECT_LT(mine->t, mic.askedAt + 1.5);
    EXPECT_NEAR(activeWithin(meta.levelsMic, mic.askedAt - 0.3, mic.askedAt + 2.7), 1.5, 0.6);
    EXPECT_FALSE(overlapping(meta.levelsMic, speaker.askedAt, speaker.askedAt + 1.5));

    ASSERT_TRUE(meta.ocr);
    QStringList texts;
    for (const OcrEntry& e : *meta.ocr)
        texts << e.text;
    EXPECT_TRUE(texts.join('\n').contains("Alpha quarterly planning review")) << texts.join('|').toStdString();
    EXPECT_TRUE(texts.join('\n').contains("Bravo hiring plan timeline")) << texts.join('|').toStdString();

    slogFlush();
    EXPECT_TRUE(readFile(Paths::logFile()).contains("audio configuration changed: restarting mic"));
}
