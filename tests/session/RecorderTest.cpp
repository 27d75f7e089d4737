// The recorder with fake capture sources, a scripted text reader and a clock the
// test moves: frame selection, automatic pins, the small operations and the stop.
#include "FakeCapture.h"

#include "core/Log.h"
#include "core/Paths.h"
#include "platform/CaptureError.h"
#include "session/CapturePause.h"
#include "session/Recorder.h"
#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QPainter>
#include <QRegularExpression>
#include <QThread>
#include <gtest/gtest.h>
#include <future>
#include <map>
#include <thread>

struct RecorderTestAccess {
    static void drain(Recorder& r) { r.drain(); }
    // Only the capture queue: recognition may be held up by the test.
    static void capture(Recorder& r) { r.q_.drain(); }
    static std::optional<double> systemOffset(Recorder& r)
    {
        return r.q_.sync([&] { return r.systemTrack_.offset(); });
    }
    static std::optional<double> micOffset(Recorder& r)
    {
        r.drain();
        return r.micQ_.sync([&] { return r.micTrack_.offset(); });
    }
};

namespace {

QImage shade(int grey, QRect mark = {}, int markGrey = 120)
{
    QImage img(320, 180, QImage::Format_RGB32);
    img.fill(QColor(grey, grey, grey));
    if (!mark.isNull())
        QPainter(&img).fillRect(mark, QColor(markGrey, markGrey, markGrey));
    return img;
}

// A word list of n words starting at word `from`: "w10 w11 …".
QString words(int from, int n)
{
    QStringList out;
    for (int i = from; i < from + n; ++i)
        out << QStringLiteral("word%1").arg(i);
    return out.join(u' ');
}

class RecorderTest : public ::testing::Test {
protected:
    RecorderTest()
    {
        session = Session::create(QStringLiteral("Test"), QStringLiteral("Screen"));
        recorder = Recorder::create(session, devices, [this](const QImage& image, bool fast) {
            std::lock_guard lock(readMutex);
            if (fast)
                ++fastReads;
            auto& table = fast ? fastTexts : texts;
            auto it = table.find(image.cacheKey());
            return it == table.end() ? OCR::Reading{} : it->second;
        });
    }

    // Starts a recorder and makes its start session time 0 for to().
    void begin(Recorder& r, bool withMic)
    {
        base = clock.uptime();
        r.start(withMic);
    }
    // Session time `s` of the recorder started last.
    void to(double s) { clock.advance(base + s - clock.uptime()); }
    void frameAt(double s, const QImage& image)
    {
        to(s);
        devices.stream->deliver(image);
        RecorderTestAccess::drain(*recorder);
    }
    std::vector<double> shotTimes()
    {
        std::vector<double> out;
        for (const auto& s : recorder->liveSnapshot(0).meta.shots)
            out.push_back(s.t);
        return out;
    }
    void say(const QImage& img, const QString& text, std::optional<QString> title = std::nullopt)
    {
        std::lock_guard lock(readMutex);
        texts[img.cacheKey()] = OCR::Reading{text, title};
    }
    void sayFast(const QImage& img, const QString& text)
    {
        std::lock_guard lock(readMutex);
        fastTexts[img.cacheKey()] = OCR::Reading{text, std::nullopt};
    }
    int fastCount()
    {
        std::lock_guard lock(readMutex);
        return fastReads;
    }

    TempSupport support;
    FixedClock clock;
    FakeDevices devices;
    std::shared_ptr<Session> session;
    std::shared_ptr<Recorder> recorder;
    std::mutex readMutex;
    std::map<qint64, OCR::Reading> texts, fastTexts;
    int fastReads = 0;
    double base = 0;
};

} // namespace

// ---- start

TEST_F(RecorderTest, StartsOnThePrimaryDisplayAtMost1440Wide)
{
    struct Case {
        std::vector<CaptureDisplay> list;
        QString chosen;
        QSize size;
    };
    const Case cases[] = {
        {{{"HDMI-1", QRect(0, 0, 1280, 800), false}, {"DP-1", QRect(1280, 0, 3024, 1964), true}}, "DP-1", {1440, 935}},
        {{{"HDMI-1", QRect(0, 0, 1280, 800), false}, {"DP-2", QRect(1280, 0, 1920, 1080), false}}, "HDMI-1", {1280, 800}},
    };
    for (const Case& c : cases) {
        FakeDevices d;
        d.list = c.list;
        auto r = Recorder::create(Session::create("t", "Screen"), d);
        begin(*r, false);
        EXPECT_EQ(d.chosen.name, c.chosen);
        EXPECT_EQ(d.config.size, c.size);
        EXPECT_EQ(d.config.minimumFrameInterval, 2);
        EXPECT_EQ(d.config.queueDepth, 5);
        EXPECT_TRUE(d.config.showsCursor);
        EXPECT_TRUE(d.stream->started && d.system->running);
        r->stop();
    }
}

TEST_F(RecorderTest, NoDisplayFailsAndStartsNothing)
{
    devices.list.clear();
    try {
        begin(*recorder, true);
        FAIL() << "started without a display";
    } catch (const CaptureError& e) {
        EXPECT_EQ(e.description(), "no display to record");
    }
    EXPECT_EQ(devices.stream, nullptr);
    EXPECT_EQ(devices.mic, nullptr);
    EXPECT_EQ(recorder->elapsed(), 0);
}

TEST_F(RecorderTest, SystemAudioThatCannotStartStopsTheScreenAgain)
{
    devices.systemFails = true;
    EXPECT_THROW(begin(*recorder, true), CaptureError);
    // The stream went with the failed start; its stop is counted by the devices.
    EXPECT_EQ(*devices.streamStops, 1);
    EXPECT_EQ(devices.mic, nullptr);
}

// A frame handed over while the stream stops after a failed start, and handled at
// once, must not become a shot of a recording that never ran.
TEST_F(RecorderTest, FailedStartKeepsNoFrame)
{
    devices.systemFails = true;
    devices.inFlight = [&] {
        to(1);
        devices.stream->deliver(shade(0));
        RecorderTestAccess::drain(*recorder);
    };
    EXPECT_THROW(begin(*recorder, false), CaptureError);
    EXPECT_TRUE(session->meta().shots.empty());
    EXPECT_TRUE(QDir(session->path("shots")).entryList(QDir::Files).isEmpty());
}

TEST_F(RecorderTest, MicrophoneOutcomesLandInTheMetaAndTheStartLine)
{
    struct Case {
        bool withMic;
        int rate;
        bool fails;
        bool micOk;
        QString line;
    };
    const Case cases[] = {
        {false, 48000, false, false, {}},
        {true, 0, false, false, "no microphone input"},
        {true, 48000, true, false, "mic start failed: device busy"},
        {true, 44100, false, true, {}},
    };
    for (const Case& c : cases) {
        TempSupport fresh;
        FakeDevices d;
        d.micFormat.sampleRate = c.rate;
        d.micFails = c.fails;
        auto s = Session::create("t", "Screen");
        auto r = Recorder::create(s, d);
        begin(*r, c.withMic);
        EXPECT_EQ(r->micOk(), c.micOk);
        EXPECT_EQ(Session::load(s->dir())->meta().micOk, c.micOk);
        const QStringList lines = logLines();
        if (!c.line.isEmpty()) {
            EXPECT_TRUE(lines.contains(c.line)) << lines.join('\n').toStdString();
        }
        EXPECT_EQ(lines.last(),
                  QStringLiteral("recording started: %1 1440x935 mic=%2")
                      .arg(QFileInfo(s->dir()).fileName(), c.micOk ? "true" : "false"));
        r->stop();
    }
}

TEST_F(RecorderTest, ChangedMicrophoneIsRestartedAndKeepsWriting)
{
    begin(*recorder, true);
    to(1);
    devices.mic->deliver(1.0, 0.1f, clock.uptime());
    devices.mic->interrupt();
    ASSERT_TRUE([&] {
        for (int i = 0; i < 2000; ++i) { // the restart runs on a queue: give a loaded machine time
            {
                std::lock_guard lock(devices.mic->mutex);
                if (devices.mic->starts == 2)
                    return true;
            }
            QThread::msleep(10);
        }
        return false;
    }());
    EXPECT_TRUE(recorder->micOk());
    to(3);
    devices.mic->deliver(1.0, 0.1f, clock.uptime());
    const auto stopped = recorder->stop();
    EXPECT_TRUE(logLines().contains("audio configuration changed: restarting mic"));
    EXPECT_EQ(devices.mic->stops, 2);
    // One second, a hole of a second, one more second: one track of three.
    EXPECT_TRUE(QFile::exists(stopped->path("mic.m4a")));
    EXPECT_EQ(stopped->meta().audioFile, "mixed.m4a");
    ASSERT_EQ(stopped->meta().levelsMic.size(), 2u);
    EXPECT_NEAR(stopped->meta().levelsMic[0].t, 1.0, 0.11);
    EXPECT_NEAR(stopped->meta().levelsMic[1].t, 3.0, 0.11);
}

// ---- sound on the session's time line

TEST_F(RecorderTest, SystemSoundIsPlacedByItsStampUnlessTheStampIsImplausible)
{
    struct Case {
        double clockAt;    // session time when the buffer is handled
        double stampDelta; // buffer's stamp minus the clock now
        double expected;   // session time it is written at
    };
    const double n = 0.1; // seconds in the buffer
    const Case cases[] = {
        {20, 6, 20 - n}, {20, -6, 20 - n}, {20, 4, 24}, {20, -4, 16}, {2, -3, 0}, {20, std::nan(""), 20 - n},
    };
    for (const Case& c : cases) {
        FakeDevices d;
        auto r = Recorder::create(Session::create("t", "Screen"), d);
        begin(*r, false);
        to(c.clockAt);
        d.system->deliver(n, 0.0f, clock.uptime() + c.stampDelta);
        const auto offset = RecorderTestAccess::systemOffset(*r);
        ASSERT_TRUE(offset);
        EXPECT_NEAR(*offset, c.expected, 1e-9) << c.clockAt << " " << c.stampDelta;
        r->stop();
    }
}

TEST_F(RecorderTest, MicrophoneBufferIsPlacedByItsStampAndHandedOn)
{
    std::vector<int64_t> handed;
    recorder->onMicBuffer = [&](const PcmBuffer& b) { handed.push_back(b.frames()); };
    begin(*recorder, true);
    to(5);
    devices.mic->deliver(4096.0 / 48000, 0.05f, clock.uptime() - 1.5);
    EXPECT_EQ(handed, std::vector<int64_t>{4096});
    EXPECT_NEAR(*RecorderTestAccess::micOffset(*recorder), 3.5, 1e-9);
    recorder->stop();
}

TEST(RecorderLevel, EveryFourthFrameOfTheFirstChannel)
{
    PcmBuffer three{48000, 1, {0.5f, 0.9f, 0.9f}};
    EXPECT_FLOAT_EQ(Recorder::tapLevel(three), 0.5f);
    PcmBuffer full{48000, 2, std::vector<float>(4096 * 2, 1.0f)};
    for (size_t f = 0; f < 4096; f += 4)
        full.samples[f * 2] = 0.2f; // channel 0 of frames 0, 4, 8, …
    EXPECT_FLOAT_EQ(Recorder::tapLevel(full), 0.2f);
    // Frames 0 and 4 of five: the mean of the two taken.
    PcmBuffer five{48000, 1, {0.6f, 0, 0, 0, 0.8f}};
    EXPECT_FLOAT_EQ(Recorder::tapLevel(five), std::sqrt((0.36f + 0.64f) / 2));
    EXPECT_EQ(Recorder::tapLevel(PcmBuffer{48000, 1, {}}), 0.0f);
}

// ---- small operations

TEST_F(RecorderTest, ElapsedPinsAndCallMarks)
{
    EXPECT_EQ(recorder->elapsed(), 0);
    begin(*recorder, false);
    to(12.34);
    EXPECT_NEAR(recorder->elapsed(), 12.34, 1e-9);
    recorder->addPin("jpeg", "look here");
    recorder->addPin("", "a note", 7.25, Session::PinKind::textOnly);
    RecorderTestAccess::drain(*recorder);
    EXPECT_EQ(recorder->pinCount(), 2);
    const auto onDisk = Session::load(session->dir())->meta().pins;
    ASSERT_EQ(onDisk.size(), 2u);
    EXPECT_DOUBLE_EQ(onDisk[0].t, 12.3);
    EXPECT_EQ(onDisk[0].note, "look here");
    EXPECT_FALSE(onDisk[0].autoPin);
    EXPECT_DOUBLE_EQ(onDisk[1].t, 7.3);
    EXPECT_EQ(onDisk[1].textOnly, true);

    EXPECT_FALSE(recorder->isCall());
    EXPECT_EQ(recorder->liveSnapshot(0).kind, "session");
    recorder->markCall("Zoom");
    recorder->markCall("Teams");
    RecorderTestAccess::drain(*recorder);
    EXPECT_TRUE(recorder->isCall());
    EXPECT_EQ(recorder->liveSnapshot(0).kind, "call");
    EXPECT_EQ(session->meta().callApp, "Zoom");
    EXPECT_EQ(logLines().filter("recording is a call: ").join('|'), "recording is a call: Zoom");
    recorder->stop();
}

TEST_F(RecorderTest, LiveSnapshotFromAnIndex)
{
    begin(*recorder, false);
    QImage a = shade(0), b = shade(255);
    say(a, words(0, 5));
    say(b, words(100, 5));
    frameAt(1, a);
    frameAt(4, b);
    struct Case {
        int since;
        size_t entries;
    };
    for (const Case c : {Case{-3, 2}, Case{0, 2}, Case{1, 1}, Case{2, 0}, Case{9, 0}}) {
        const auto snap = recorder->liveSnapshot(c.since);
        EXPECT_EQ(snap.ocr.size(), c.entries) << c.since;
        EXPECT_EQ(snap.ocrCount, 2);
        EXPECT_EQ(snap.started, session->meta().started);
        EXPECT_EQ(snap.meta.shots.size(), 2u);
    }
    EXPECT_EQ(recorder->liveSnapshot(1).ocr[0].text, words(100, 5));
    recorder->stop();
}

// The main thread asks once a second; it must get the last published state while
// the capture queue is busy reading a frame's text, not wait for it.
TEST_F(RecorderTest, GettersDoNotWaitForTheCaptureQueue)
{
    std::promise<void> entered, gate;
    std::shared_future<void> open = gate.get_future().share();
    std::atomic<bool> held{false}, waitedOut{false};
    recorder = Recorder::create(session, devices, [&, open](const QImage&, bool fast) {
        if (fast && !held.exchange(true)) {
            entered.set_value();
            // Only a getter stuck behind this read keeps the gate shut this long.
            waitedOut = open.wait_for(std::chrono::seconds(20)) == std::future_status::timeout;
        }
        return OCR::Reading{words(0, 5), std::nullopt};
    });
    begin(*recorder, false);
    recorder->noteApp("Editor", std::nullopt, std::nullopt);
    recorder->markCall("Zoom");
    recorder->addPin("jpeg", "look here");
    frameAt(1, shade(40));
    ASSERT_EQ(recorder->pinCount(), 1);

    to(5);
    devices.stream->deliver(shade(40, QRect(100, 60, 40, 30))); // barely moved: read fast on the queue
    entered.get_future().wait();
    const bool call = recorder->isCall();
    const int pins = recorder->pinCount();
    const Recorder::LiveSnapshot snap = recorder->liveSnapshot(0);
    gate.set_value();
    EXPECT_FALSE(waitedOut);
    EXPECT_TRUE(call);
    EXPECT_EQ(pins, 1);
    EXPECT_EQ(snap.kind, "call");
    EXPECT_EQ(snap.ocrCount, 1);
    ASSERT_EQ(snap.apps.size(), 1u);
    EXPECT_EQ(snap.apps[0].app, "Editor");
    EXPECT_EQ(snap.meta.shots.size(), 1u);
    recorder->stop();
}

TEST_F(RecorderTest, FrontApplicationLabelsAndSpans)
{
    std::vector<QString> events;
    recorder->onEvent = [&](FeedItem::Kind kind, const QString& text) {
        EXPECT_EQ(kind, FeedItem::Kind::nowIn);
        events.push_back(text);
    };
    begin(*recorder, false);
    const QString longTitle = QString(70, u'x');
    recorder->noteApp("Editor", "org.editor", QString("main.cpp"));
    to(2);
    recorder->noteApp("Editor", "org.editor", QString("main.cpp"));
    to(4);
    recorder->noteApp("Browser", "org.browser", longTitle);
    to(6);
    recorder->noteApp("Browser", "org.browser", longTitle);
    EXPECT_EQ(events, std::vector<QString>{"Browser — " + QString(60, u'x')});
    RecorderTestAccess::drain(*recorder);
    const auto apps = recorder->liveSnapshot(0).apps;
    ASSERT_EQ(apps.size(), 2u);
    EXPECT_EQ(apps[0].app, "Editor");
    EXPECT_EQ(apps[1].title, longTitle);
    EXPECT_DOUBLE_EQ(apps[1].end, 6.0);
    recorder->stop();
}

// ---- frame selection

TEST_F(RecorderTest, FramesCloserThan1Point8SecondsAreNotLookedAt)
{
    begin(*recorder, false);
    frameAt(0, shade(0));
    frameAt(1.7, shade(255)); // 1.7 s after the last one looked at
    frameAt(3.5, shade(255)); // 3.5 s after it: the 1.7 one did not count
    frameAt(5.2, shade(0));   // 1.7 s
    frameAt(5.31, shade(0));  // 1.81 s
    EXPECT_EQ(shotTimes(), (std::vector<double>{0, 4, 5}));
}

TEST_F(RecorderTest, SignatureDifferenceDecidesAndStrongChangesArm)
{
    // A new title on a frame arms an automatic pin only when the frame was a strong
    // change; the armed pin shows in the state below as a pin after the stop when
    // somebody spoke around it.
    struct Case {
        int from, to;
        bool kept, strong;
    };
    const Case cases[] = {
        {100, 107, false, false}, // 7/255 < 0.03
        {100, 108, true, false},  // 8/255 ≥ 0.03
        {100, 130, true, false},  // 30/255 < 0.12
        {100, 131, true, true},   // 31/255 ≥ 0.12
    };
    for (const Case& c : cases) {
        TempSupport fresh;
        FakeDevices d;
        auto s = Session::create("t", "Screen");
        auto r = Recorder::create(s, d, [&](const QImage& image, bool) {
            return OCR::Reading{QStringLiteral("text"),
                                qGray(image.pixel(0, 0)) == c.from ? QStringLiteral("Opening remarks")
                                                                   : QStringLiteral("Budget table")};
        });
        begin(*r, false);
        to(1);
        d.system->deliver(0.5, 0.05f, clock.uptime()); // somebody speaks
        d.stream->deliver(shade(c.from));
        RecorderTestAccess::drain(*r);
        to(4);
        d.stream->deliver(shade(c.to));
        RecorderTestAccess::drain(*r);
        EXPECT_EQ(s->meta().shots.size(), c.kept ? 2u : 1u) << c.to;
        const auto stopped = r->stop();
        EXPECT_EQ(stopped->meta().pins.size(), c.strong ? 1u : 0u) << c.to;
    }
}

TEST_F(RecorderTest, BarelyMovedFramesAreKeptOnlyForNewText)
{
    begin(*recorder, false);
    const QRect spot(100, 60, 40, 30); // 2 % of the thumbnails, under 0.03 of signature
    QImage first = shade(40);
    sayFast(first, words(0, 10));
    frameAt(0, first);

    // Under 1 % of the fine thumbnail changed: no text check at all.
    frameAt(2, shade(40, QRect(100, 60, 8, 8)));
    EXPECT_EQ(fastCount(), 0);

    // 7 of the 10 words (similarity 0.7): dropped after the check; the last kept
    // screenshot is read for it, once.
    QImage same = shade(40, spot);
    sayFast(same, words(0, 7));
    frameAt(4, same);
    EXPECT_EQ(fastCount(), 2);
    EXPECT_EQ(shotTimes().size(), 1u);

    // A check less than 4 s after the last one is not made.
    QImage other = shade(40, spot.translated(50, 0));
    sayFast(other, words(200, 5));
    frameAt(7.9, other);
    EXPECT_EQ(fastCount(), 2);
    EXPECT_EQ(shotTimes().size(), 1u);

    // 9 shared words of 13 (0.69): kept.
    QImage changed = shade(40, spot.translated(0, 50));
    sayFast(changed, words(0, 9) + " " + words(300, 3));
    frameAt(10, changed);
    EXPECT_EQ(fastCount(), 3);
    EXPECT_EQ(shotTimes(), (std::vector<double>{0, 10}));

    // Empty fast text counts as unchanged; the kept frame's text is already known.
    frameAt(15, shade(40, spot.translated(100, 50)));
    EXPECT_EQ(fastCount(), 4);
    EXPECT_EQ(shotTimes().size(), 2u);
}

TEST_F(RecorderTest, ShotTimesAreWholeSecondsAndAtMost181)
{
    begin(*recorder, false);
    frameAt(12.49, shade(0));
    frameAt(14.5, shade(255));
    EXPECT_EQ(shotTimes(), (std::vector<double>{12, 15}));
    for (int i = 0; i < 185; ++i)
        frameAt(17 + 2 * i, shade(i % 2 ? 255 : 0));
    const auto stopped = recorder->stop();
    EXPECT_EQ(stopped->meta().shots.size(), 181u);
    EXPECT_EQ(QDir(stopped->path("shots")).entryList(QDir::Files).size(), 181);
}

TEST_F(RecorderTest, NearDuplicateTextIsStoredOnce)
{
    begin(*recorder, false);
    QImage a = shade(0), b = shade(255), c = shade(128);
    say(a, words(0, 20));
    say(b, words(0, 17) + "\n"); // 17 of 20 words: 0.85
    say(c, "  \n ");
    recorder->noteApp("Editor", std::nullopt, std::nullopt);
    frameAt(1, a);
    frameAt(4, b);
    frameAt(7, c);
    const auto meta = recorder->stop()->meta();
    EXPECT_EQ(meta.shots.size(), 3u);
    ASSERT_TRUE(meta.ocr);
    ASSERT_EQ(meta.ocr->size(), 1u);
    EXPECT_EQ(meta.ocr->at(0), (OcrEntry{1, "Editor", words(0, 20)}));
}

// While two accurate reads are still to finish, a kept frame's shot is stored but
// its text is not read: a screen that never rests cannot pile up full frames.
TEST_F(RecorderTest, SlowTextRecognitionSkipsTheTextOfFurtherShots)
{
    std::promise<void> gate;
    std::shared_future<void> open = gate.get_future().share();
    std::atomic<int> accurate{0};
    recorder = Recorder::create(session, devices, [&, open](const QImage& image, bool fast) {
        if (!fast) {
            ++accurate;
            open.wait();
        }
        return OCR::Reading{words(qGray(image.pixel(0, 0)), 10), std::nullopt};
    });
    begin(*recorder, false);
    for (int i = 0; i < 5; ++i) {
        to(1 + 3 * i);
        devices.stream->deliver(shade(i * 60)); // every frame a strong change
        RecorderTestAccess::capture(*recorder);
    }
    EXPECT_EQ(session->meta().shots.size(), 5u);
    gate.set_value();
    const auto meta = recorder->stop()->meta();
    EXPECT_EQ(accurate, 2);
    ASSERT_TRUE(meta.ocr);
    ASSERT_EQ(meta.ocr->size(), 2u);
    EXPECT_EQ(meta.ocr->at(1), (OcrEntry{4, "Screen", words(60, 10)}));
    EXPECT_EQ(meta.shots.size(), 5u);
    EXPECT_EQ(logLines().filter("ocr: ").join('|'), "ocr: falling behind, skipping text of some screenshots");
}

// Neither the name nor the pixels of a password manager or private window reach
// the session: its frames are not kept at all.
TEST_F(RecorderTest, NoFrameIsKeptWhilePrivateWindowIsInFront)
{
    begin(*recorder, false);
    QImage a = shade(0), vault = shade(200), back = shade(255);
    say(a, "shopping list");
    say(vault, "bank password hunter2");
    say(back, "quarterly report");
    recorder->noteApp("Editor", std::nullopt, QString("notes.txt"));
    frameAt(1, a);
    recorder->noteApp("KeePassXC", "org.keepassxc.KeePassXC", QString("Passwords.kdbx"));
    frameAt(4, vault);
    frameAt(7, shade(100));
    recorder->noteApp("Editor", std::nullopt, QString("notes.txt"));
    frameAt(10, back);
    const auto meta = recorder->stop()->meta();
    EXPECT_EQ(meta.shots.size(), 2u);
    ASSERT_TRUE(meta.ocr);
    for (const OcrEntry& e : *meta.ocr)
        EXPECT_FALSE(e.text.contains("hunter2"));
    ASSERT_TRUE(meta.apps);
    EXPECT_EQ(meta.apps->at(1).app, "(private)");
    EXPECT_FALSE(meta.apps->at(1).title);
}

// Frames grabbed while our region picker covers the screen, or as it goes, show
// the picker rather than the work: none is kept, even one handed over later.
TEST_F(RecorderTest, FramesGrabbedWhileOurPickerIsUpAreNotKept)
{
    begin(*recorder, false);
    auto grab = [&](double grabbed, double delivered, const QImage& image) {
        to(delivered);
        devices.stream->deliver(image, base + grabbed);
        RecorderTestAccess::drain(*recorder);
    };
    grab(0, 0, shade(200));
    to(2);
    CapturePause::begin();
    grab(4, 4, shade(80)); // the dimmed screen under the picker
    to(5);
    CapturePause::begin(); // nested: the picker is still up after the inner end
    CapturePause::end();
    grab(5.5, 7.5, shade(0));
    CapturePause::end();
    grab(7, 10, shade(80));   // grabbed before the end, handed over after it
    grab(8.4, 12, shade(80)); // while the screen under it repaints
    grab(12.5, 14, shade(30));
    EXPECT_EQ(shotTimes(), (std::vector<double>{0, 14}));
}

// ---- automatic pins

class AutoPinTest : public RecorderTest {
protected:
    // A title frame at t, black or white so that every change is strong.
    void titleAt(double t, const QString& title)
    {
        QImage img = shade(dark ? 0 : 255);
        dark = !dark;
        say(img, "text of " + title, title);
        frameAt(t, img);
    }
    bool dark = true;
};

TEST_F(AutoPinTest, NewTitleWithSpeechAroundBecomesAPin)
{
    std::vector<std::pair<FeedItem::Kind, QString>> events;
    Qt::HANDLE mainThread = QThread::currentThreadId();
    recorder->onEvent = [&](FeedItem::Kind k, const QString& t) {
        EXPECT_EQ(QThread::currentThreadId(), mainThread);
        events.emplace_back(k, t);
    };
    begin(*recorder, false);
    titleAt(0, "Quarterly results overview");
    to(296);
    devices.system->deliver(0.5, 0.01f, clock.uptime());
    titleAt(300, "Hiring plan for next year");
    EXPECT_EQ(recorder->pinCount(), 0); // armed, not yet settled
    to(309.9);
    devices.system->deliver(0.1, 0, clock.uptime());
    RecorderTestAccess::drain(*recorder);
    EXPECT_EQ(recorder->pinCount(), 0);
    to(310);
    devices.system->deliver(0.1, 0, clock.uptime());
    RecorderTestAccess::drain(*recorder);
    ASSERT_EQ(recorder->pinCount(), 1);
    const PinMeta pin = Session::load(session->dir())->meta().pins.at(0);
    EXPECT_EQ(pin.t, 300);
    EXPECT_EQ(pin.note, "Auto: slide/page changed — Hiring plan for next year");
    EXPECT_EQ(pin.autoPin, true);
    EXPECT_TRUE(logLines().contains("auto-pin at 300.0s: Auto: slide/page changed — Hiring plan for next year"));
    QCoreApplication::processEvents();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].first, FeedItem::Kind::slide);
    EXPECT_EQ(events[0].second, "screenshot saved — Hiring plan for next year");

    // 80 s after that pin: nothing is armed, but the title is taken over, so the
    // same title again at 430 is no change either.
    titleAt(380, "Office move timeline");
    to(425);
    devices.system->deliver(0.5, 0.02f, clock.uptime());
    titleAt(430, "Office move timeline");
    to(445);
    recorder->stop();
    EXPECT_EQ(session->meta().pins.size(), 1u);
}

TEST_F(AutoPinTest, SilenceDropsThePinAndAStopSettlesAnArmedOne)
{
    begin(*recorder, false);
    titleAt(0, "Quarterly results overview");
    titleAt(300, "Hiring plan for next year");
    to(315);
    devices.system->deliver(0.1, 0, clock.uptime()); // settles it: nobody spoke
    RecorderTestAccess::drain(*recorder);
    EXPECT_EQ(recorder->pinCount(), 0);
    // Nothing was pinned, so the gap still counts from long ago.
    to(340);
    devices.system->deliver(0.5, 0.02f, clock.uptime());
    titleAt(345, "Office move timeline");
    const auto stopped = recorder->stop(); // 0 s later: settled by the stop
    ASSERT_EQ(stopped->meta().pins.size(), 1u);
    EXPECT_EQ(stopped->meta().pins[0].t, 345);
}

TEST_F(AutoPinTest, SwitchedOffOrWithoutTitleNothingArms)
{
    recorder->autoPinOn = false;
    begin(*recorder, true);
    to(1);
    devices.mic->deliver(0.5, 0.1f, clock.uptime());
    titleAt(1, "Quarterly results overview");
    titleAt(4, "Hiring plan for next year");
    recorder->autoPinOn = true;
    QImage untitled = shade(dark ? 0 : 255);
    dark = !dark;
    say(untitled, "body text only");
    frameAt(7, untitled);
    titleAt(10, "Hiring plan for next year"); // same as the last title seen
    EXPECT_EQ(recorder->stop()->meta().pins.size(), 0u);
}

// ---- stop

TEST_F(RecorderTest, StopWithoutStartSavesASessionWithoutAudio)
{
    const auto stopped = recorder->stop();
    EXPECT_EQ(stopped, session);
    const auto meta = Session::load(session->dir())->meta();
    EXPECT_TRUE(meta.ended);
    EXPECT_FALSE(meta.audioFile);
    EXPECT_TRUE(meta.levelsMic.empty() && meta.levelsTab.empty());
    EXPECT_EQ(meta.kind, "session");
    EXPECT_EQ(logLines().last(),
              "recording stopped: session, 0 ocr, 0 app spans, 0 shots, 0 pins, audio=none sys=0.0s mic=0.0s");
    EXPECT_FALSE(QFile::exists(session->path("mixed.m4a")));
}

TEST_F(RecorderTest, KindAndAppAfterTheStop)
{
    struct Case {
        bool fromCall;
        std::optional<QString> callApp;
        QString app;
        QString kind, appAfter;
    };
    const Case cases[] = {
        {false, std::nullopt, "Screen", "session", "Screen"},
        {false, "Zoom", "Screen", "call", "Zoom"},
        {false, "Zoom", "screen", "call", "screen"},
        {true, std::nullopt, "Screen", "call", "Screen"},
    };
    for (const Case& c : cases) {
        auto s = Session::create("t", c.app);
        s->meta().fromCall = c.fromCall;
        auto r = Recorder::create(s, devices);
        if (c.callApp)
            r->markCall(*c.callApp);
        const auto meta = Session::load(r->stop()->dir())->meta();
        EXPECT_EQ(meta.kind, c.kind);
        EXPECT_EQ(meta.app, c.appAfter);
    }
}

TEST_F(RecorderTest, StopMixesWhatHasSoundAndEndsTheLastAppSpan)
{
    begin(*recorder, true);
    recorder->noteApp("Editor", std::nullopt, std::nullopt);
    to(1);
    devices.system->deliver(2.0, 0.2f, clock.uptime());
    devices.mic->deliver(0.25, 0.2f, clock.uptime()); // exactly 12000 frames: no audio
    frameAt(2, shade(0));
    to(130.27);
    const QDateTime stopAt = clock.now();
    const auto stopped = recorder->stop();
    const auto meta = Session::load(stopped->dir())->meta();
    EXPECT_EQ(stopped->meta().ended, stopAt);
    EXPECT_EQ(meta.ended->toSecsSinceEpoch(), stopAt.toSecsSinceEpoch());
    EXPECT_EQ(meta.audioFile, "mixed.m4a");
    EXPECT_TRUE(QFile::exists(stopped->path("mixed.m4a")));
    // Its steps and every block of the three-second mix, for a watcher of a long stop.
    EXPECT_GT(recorder->stopProgress(), 10u);
    EXPECT_TRUE(meta.levelsMic.empty());
    ASSERT_EQ(meta.levelsTab.size(), 1u);
    EXPECT_EQ(meta.levelsTab[0], (Span{1.0, 3.0}));
    EXPECT_DOUBLE_EQ(meta.apps->back().end, 130.3);
    EXPECT_TRUE(meta.micOk);
    EXPECT_EQ(logLines().last(),
              "recording stopped: session, 0 ocr, 1 app spans, 1 shots, 0 pins, audio=mixed.m4a sys=2.0s mic=0.2s");
}

TEST_F(RecorderTest, FailedMixFallsBackToTheLastTrack)
{
    struct Case {
        bool withMic;
        QString file;
    };
    for (const Case& c : {Case{true, "mic.m4a"}, Case{false, "system.m4a"}}) {
        TempSupport fresh;
        FakeDevices d;
        auto s = Session::create("t", "Screen");
        QDir(s->dir()).mkdir("mixed.m4a"); // nothing can replace a folder
        auto r = Recorder::create(s, d);
        begin(*r, c.withMic);
        to(1);
        d.system->deliver(1.0, 0.2f, clock.uptime());
        if (c.withMic)
            d.mic->deliver(1.0, 0.2f, clock.uptime());
        EXPECT_EQ(r->stop()->meta().audioFile, c.file);
        const QStringList lines = logLines();
        EXPECT_TRUE(lines.filter(QRegularExpression("^mix failed: .+; falling back to one track$")).size() == 1)
            << lines.join('\n').toStdString();
    }
}

TEST_F(RecorderTest, StreamErrorIsReportedOnceOnTheMainThread)
{
    std::vector<QString> errors;
    recorder->onStreamError = [&](const QString& m) {
        EXPECT_EQ(QThread::currentThread(), QCoreApplication::instance()->thread());
        errors.push_back(m);
    };
    begin(*recorder, false);
    frameAt(1, shade(0));
    std::thread([&] {
        devices.stream->handlers.error("the display was lost");
        devices.system->handlers.interrupted("the sound server went away");
    }).join();
    QCoreApplication::processEvents();
    EXPECT_EQ(errors, std::vector<QString>{"the display was lost"});
    EXPECT_EQ(logLines().filter("stream stopped: ").join('|'), "stream stopped: the display was lost");
    EXPECT_EQ(QDir(session->path("shots")).entryList(QDir::Files).size(), 1);
}

// A frame still on its way while the stop runs must not add recognition work that
// outlives the final save; text of frames kept before the stop is all there.
TEST_F(RecorderTest, StopLeavesNothingBehind)
{
    std::promise<void> gate;
    std::shared_future<void> open = gate.get_future().share();
    recorder = Recorder::create(session, devices, [&, open](const QImage& image, bool) {
        if (qGray(image.pixel(0, 0)) == 0)
            open.wait(); // the first screenshot's recognition is slow
        return OCR::Reading{QStringLiteral("screen %1").arg(qGray(image.pixel(0, 0))), std::nullopt};
    });
    begin(*recorder, false);
    to(1);
    devices.stream->deliver(shade(0));
    RecorderTestAccess::capture(*recorder); // frames are timed when the capture queue takes them
    to(4);
    devices.stream->deliver(shade(255));
    RecorderTestAccess::capture(*recorder); // the second frame is handled
    devices.stream->inFlight = [&] {
        to(7);
        devices.stream->deliver(shade(128));
    };
    std::thread stopper([&] { recorder->stop(); });
    QThread::msleep(50);
    gate.set_value();
    stopper.join();

    const SessionMeta final = session->meta();
    ASSERT_TRUE(final.ocr);
    EXPECT_EQ(final.shots.size(), 2u);
    EXPECT_EQ(final.ocr->size(), 2u);
    // Late calls change nothing of the stopped session.
    recorder->noteApp("Editor", std::nullopt, std::nullopt);
    recorder->addPin("x", "late");
    recorder->markCall("Zoom");
    RecorderTestAccess::drain(*recorder);
    EXPECT_EQ(session->meta().toJson(), final.toJson());
    EXPECT_EQ(Session::load(session->dir())->meta().toJson(), final.toJson());
}
