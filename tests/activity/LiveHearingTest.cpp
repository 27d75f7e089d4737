#include "ScriptedSpeech.h"
#include "support/TestSupport.h"
#include "activity/LiveHearing.h"
#include "core/Log.h"

#include <QCoreApplication>
#include <QFile>
#include <QThread>
#include <QThreadPool>
#include <atomic>
#include <gtest/gtest.h>

namespace {

CaptureBuffer mono48k(std::size_t frames, float value)
{
    CaptureBuffer b;
    b.samples.assign(frames, value);
    return b;
}

// Hearing with a scripted recogniser, a clock that the test moves and an
// extractor that hands back what it was given.
struct Hearing {
    FixedClock clock;
    std::vector<std::shared_ptr<ScriptedTask>> tasks;
    std::vector<QString> extracted;
    std::vector<QString> phrases;
    LiveHearing hearing{std::make_unique<ScriptedRecognizer>(&tasks), [this](const QString& words) {
                            extracted.push_back(words);
                            return std::optional<QString>(words);
                        }};

    Hearing()
    {
        hearing.onPhrase = [this](const QString& p) { phrases.push_back(p); };
        EXPECT_TRUE(hearing.start());
    }
    void hear(const QString& text, bool isFinal = false)
    {
        tasks.back()->say(text, isFinal);
        settle();
    }
    void tick()
    {
        hearing.tick();
        settle();
    }
    // Phrases are picked on a worker and delivered on the main thread.
    static void settle()
    {
        QCoreApplication::processEvents();
        QThreadPool::globalInstance()->waitForDone();
        QCoreApplication::processEvents();
    }
};

TEST(LiveHearing, HarvestsFourNewWordsAfterAPause)
{
    Hearing h;
    h.hear("we need the");
    h.clock.advance(2);
    h.tick();
    EXPECT_TRUE(h.extracted.empty()); // three words wait

    h.hear("we need the pricing");
    h.clock.advance(1.5);
    h.tick();
    EXPECT_TRUE(h.extracted.empty()); // the pause must be longer than 1.5 s
    h.clock.advance(0.25);
    h.tick();
    EXPECT_EQ(h.phrases, (std::vector<QString>{"we need the pricing"}));

    // Within the gap the new words are used up without a phrase.
    h.hear("we need the pricing page on mobile now");
    h.clock.advance(2);
    h.tick();
    EXPECT_EQ(h.phrases.size(), 1u);
    h.clock.advance(LiveHearing::minGap);
    h.tick();
    EXPECT_EQ(h.phrases.size(), 1u);

    h.hear("we need the pricing page on mobile now and the plan is set");
    h.clock.advance(2);
    h.tick();
    EXPECT_EQ(h.phrases, (std::vector<QString>{"we need the pricing", "and the plan is set"}));
}

TEST(LiveHearing, FinalResultHarvestsEvenOneWordAndStartsANewTask)
{
    Hearing h;
    ASSERT_EQ(h.tasks.size(), 1u);
    h.hear("pricing", true);
    EXPECT_EQ(h.extracted, (std::vector<QString>{"pricing"}));
    ASSERT_EQ(h.tasks.size(), 2u);
    EXPECT_TRUE(h.tasks[0]->cancelled);

    // The replaced task's late answers count for nothing: no second harvest and
    // no further task.
    h.tasks[0]->say("pricing page", true);
    h.tasks[0]->fail("gone");
    Hearing::settle();
    EXPECT_EQ(h.extracted.size(), 1u);
    EXPECT_EQ(h.tasks.size(), 2u);
}

TEST(LiveHearing, ErrorAndLongTasksAreReplaced)
{
    Hearing h;
    h.hear("one two");
    h.tasks.back()->fail("decoder");
    Hearing::settle();
    EXPECT_EQ(h.extracted, (std::vector<QString>{"one two"}));
    EXPECT_EQ(h.tasks.size(), 2u);

    h.hear("three");
    h.clock.advance(50);
    h.tick();
    EXPECT_EQ(h.tasks.size(), 2u); // 50 s is not more than 50 s
    h.clock.advance(0.25);
    h.tick();
    EXPECT_EQ(h.tasks.size(), 3u);
    EXPECT_TRUE(h.tasks[1]->cancelled);
    EXPECT_EQ(h.phrases, (std::vector<QString>{"one two", "three"})); // forced: one word is enough
}

TEST(LiveHearing, AudioFlowsOnlyWhileRunningAndStopDropsWords)
{
    Hearing h;
    const CaptureBuffer buffer = mono48k(48000, 0.1f);
    h.hearing.append(buffer);
    h.hearing.append(buffer);
    // 48 kHz float becomes 16 kHz 16-bit: about a third as many samples.
    EXPECT_GT(h.tasks[0]->samples, 30000u);
    EXPECT_LE(h.tasks[0]->samples, 32000u);

    h.hear("words that were never harvested");
    h.hearing.stop();
    EXPECT_TRUE(h.tasks[0]->cancelled);
    const std::size_t before = h.tasks[0]->samples;
    h.hearing.append(buffer);
    EXPECT_EQ(h.tasks[0]->samples, before);
    h.tasks[0]->say("more words", true);
    Hearing::settle();
    h.clock.advance(3);
    h.tick();
    EXPECT_TRUE(h.extracted.empty());
    EXPECT_FALSE(h.hearing.running());

    // Started again for the next recording: one new task, one timer.
    EXPECT_TRUE(h.hearing.start());
    EXPECT_TRUE(h.hearing.start());
    EXPECT_EQ(h.tasks.size(), 2u);
}

// The microphone's sound is converted with the sound libraries; they are let go
// with the recording, so that they can be unloaded.
TEST(LiveHearing, ItsSoundLibrariesGoWithTheRecording)
{
    const auto mapped = [] { return libraryLoaded("libavcodec.so"); };
    Hearing h;
    h.hearing.append(mono48k(4800, 0.1f));
    EXPECT_TRUE(mapped());
    h.hearing.stop();
    EXPECT_FALSE(mapped());
}

// Quiet costs the decoder as much as speech: only what may be speech reaches it,
// with a little sound from before it and the pauses between words.
TEST(LiveHearing, OnlyWhatMayBeSpeechIsDecoded)
{
    Hearing h;
    const auto fed = [&] { return double(h.tasks.back()->samples) / SpeechRecognizer::sampleRate; };
    const CaptureBuffer quiet = mono48k(4800, 0.002f); // 0.1 s each
    const CaptureBuffer loud = mono48k(4800, 0.05f);
    for (int i = 0; i < 30; ++i)
        h.hearing.append(quiet);
    EXPECT_EQ(h.tasks.back()->samples, 0u) << "three seconds of room tone";

    h.hearing.append(loud);
    EXPECT_NEAR(fed(), 0.4, 0.05) << "the word and the 0.3 s before it";
    for (int i = 0; i < 5; ++i)
        h.hearing.append(quiet);
    EXPECT_NEAR(fed(), 0.9, 0.05) << "a pause between words";
    for (int i = 0; i < 30; ++i)
        h.hearing.append(quiet);
    EXPECT_NEAR(fed(), 1.4, 0.15) << "a second of quiet after speech, then nothing";

    // The next recording starts without the last one's sound.
    h.hearing.stop();
    ASSERT_TRUE(h.hearing.start());
    h.hearing.append(loud);
    EXPECT_NEAR(fed(), 0.1, 0.05);
}

// Words heard within the gap after a phrase are used up unheard, so the decoder
// rests then; it starts again early enough for words harvested after the gap.
TEST(LiveHearing, TheDecoderRestsWhileNoPhraseCouldBeDelivered)
{
    Hearing h;
    const CaptureBuffer loud = mono48k(4800, 0.05f); // 0.1 s each
    h.hear("we need the pricing page", true);
    ASSERT_EQ(h.phrases.size(), 1u);
    const auto fed = [&] { return h.tasks.back()->samples; };

    h.hearing.append(loud);
    EXPECT_EQ(fed(), 0u) << "just after a phrase";
    h.clock.advance(LiveHearing::minGap - LiveHearing::resumeBefore - 0.5);
    h.hearing.append(loud);
    EXPECT_EQ(fed(), 0u) << "still within the gap";
    h.clock.advance(1);
    h.hearing.append(loud);
    EXPECT_NEAR(double(fed()) / SpeechRecognizer::sampleRate, 0.3, 0.05) << "this sound, and the rest's as its lead";

    h.clock.advance(LiveHearing::minGap);
    h.hear("the plan is set", true);
    ASSERT_EQ(h.phrases.size(), 2u);
    h.hearing.stop();
    ASSERT_TRUE(h.hearing.start());
    h.hearing.append(loud);
    EXPECT_EQ(fed(), 0u) << "the gap outlasts a stop, as the harvest's does";
}

// The decoder works its text out only when the harvest asks for it, once a tick;
// picking the phrase (a parse) happens off the main thread, and a phrase picked
// across a stop is dropped.
TEST(LiveHearing, TextIsAskedForEachTickAndPhrasesArePickedOffTheMainThread)
{
    {
        Hearing h;
        EXPECT_EQ(h.tasks.back()->asks, 0);
        h.tick();
        EXPECT_EQ(h.tasks.back()->asks, 1);
    }

    FixedClock clock;
    std::vector<std::shared_ptr<ScriptedTask>> tasks;
    std::atomic<QThread*> pickedOn = nullptr;
    std::atomic<bool> release = false;
    std::vector<QString> phrases;
    LiveHearing hearing(std::make_unique<ScriptedRecognizer>(&tasks), [&](const QString& words) {
        pickedOn = QThread::currentThread();
        for (int i = 0; i < 200 && !release; ++i)
            QThread::msleep(10);
        return std::optional<QString>(words);
    });
    hearing.onPhrase = [&](const QString& p) { phrases.push_back(p); };
    ASSERT_TRUE(hearing.start());
    tasks.back()->say("the pricing page leads", true);
    QCoreApplication::processEvents();
    release = true;
    Hearing::settle();
    EXPECT_NE(pickedOn.load(), nullptr);
    EXPECT_NE(pickedOn.load(), QThread::currentThread());
    EXPECT_EQ(phrases, (std::vector<QString>{"the pricing page leads"}));

    release = false;
    clock.advance(LiveHearing::minGap + 1);
    tasks.back()->say("the annual plan", true);
    QCoreApplication::processEvents();
    hearing.stop();
    release = true;
    Hearing::settle();
    EXPECT_EQ(phrases.size(), 1u) << "picked while hearing stopped";
}

TEST(LiveHearing, WithoutModelsItStaysOff)
{
    TempSupport support;
    std::vector<std::shared_ptr<ScriptedTask>> tasks;
    LiveHearing hearing(std::make_unique<ScriptedRecognizer>(&tasks, false),
                        [](const QString&) { return std::nullopt; });
    EXPECT_FALSE(hearing.start());
    EXPECT_FALSE(hearing.running());
    slogFlush();
    EXPECT_TRUE(readFile(support.file("zelvan.log")).contains("hearing: off (speech 2, on-device true)"));
    EXPECT_TRUE(tasks.empty());
    hearing.append(mono48k(4800, 0));
}

TEST(LiveHearing, AResultAfterHearingIsGoneReachesNothing)
{
    std::vector<std::shared_ptr<ScriptedTask>> tasks;
    Scribbled<LiveHearing> hearing(std::make_unique<ScriptedRecognizer>(&tasks),
                                   [](const QString& words) { return std::optional<QString>(words); });
    ASSERT_TRUE(hearing->start());
    tasks[0]->say("we need the"); // queued before the teardown
    hearing.destroy();
    // The recogniser's thread answers late, as it may while a recording ends.
    tasks[0]->say("we need the budget", true);
    QCoreApplication::processEvents();
}

} // namespace
