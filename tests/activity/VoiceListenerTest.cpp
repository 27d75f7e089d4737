#include "ScriptedSpeech.h"
#include "activity/VoiceListener.h"
#include "platform/DesktopHelpers.h"
#include "session/AudioError.h"

#include <QCoreApplication>
#include <gtest/gtest.h>
#include <optional>

namespace {

struct Listener {
    std::vector<std::shared_ptr<ScriptedTask>> tasks;
    InputState input;
    VoiceListener voice{std::make_unique<ScriptedRecognizer>(&tasks), std::make_unique<ScriptedInput>(&input)};

    // Lets queued results reach the listener.
    static void settle() { QCoreApplication::processEvents(); }
};

TEST(VoiceListener, StopWithoutStartAnswersAtOnce)
{
    Listener l;
    std::optional<QString> got;
    l.voice.stop([&](const QString& text) { got = text; });
    EXPECT_EQ(got, QString());
    EXPECT_TRUE(l.tasks.empty());
}

TEST(VoiceListener, PartialsThenFinalAfterStop)
{
    Listener l;
    std::vector<QString> partials;
    l.voice.onPartial = [&](const QString& t) { partials.push_back(t); };
    l.voice.start();
    ASSERT_EQ(l.tasks.size(), 1u);
    EXPECT_TRUE(l.voice.listening());
    EXPECT_TRUE(l.input.running);

    // The microphone's sound goes to the task.
    const std::int16_t samples[SpeechInput::bufferFrames] = {};
    l.input.handler(samples, SpeechInput::bufferFrames);
    EXPECT_EQ(l.tasks[0]->samples, std::size_t(SpeechInput::bufferFrames));

    l.tasks[0]->say("note");
    l.tasks[0]->say("note buy");
    Listener::settle();
    EXPECT_EQ(partials, (std::vector<QString>{"note", "note buy"})); // the whole text each time

    int calls = 0;
    QString got;
    l.voice.stop([&](const QString& t) { got = t, ++calls; });
    EXPECT_FALSE(l.voice.listening());
    EXPECT_FALSE(l.input.running);
    EXPECT_TRUE(l.tasks[0]->ended);
    EXPECT_EQ(calls, 0);

    l.tasks[0]->say(" note buy milk ", true);
    Listener::settle();
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(got, "note buy milk");
    EXPECT_TRUE(l.tasks[0]->cancelled);

    // The finish timer finds nothing left to do.
    waitFor([] { return false; }, l.voice.finishSeconds + 0.5);
    EXPECT_EQ(calls, 1);
}

// A first command after a while is heard while the models load: the wait for
// its final text starts once they are in.
TEST(VoiceListener, TheDeadlineCountsFromWhenTheModelsAreIn)
{
    std::vector<std::shared_ptr<ScriptedTask>> tasks;
    InputState input;
    bool loading = true;
    auto recognizer = std::make_unique<ScriptedRecognizer>(&tasks);
    recognizer->loading = &loading;
    VoiceListener voice(std::move(recognizer), std::make_unique<ScriptedInput>(&input));
    voice.finishSeconds = 0.2;
    voice.start();
    std::optional<QString> got;
    voice.stop([&](const QString& t) { got = t; });
    waitFor([] { return false; }, 1.5);
    EXPECT_FALSE(got.has_value()) << "given up while the models were loading";

    loading = false;
    tasks[0]->say("note that the demo went well", true);
    ASSERT_TRUE(waitFor([&] { return got.has_value(); }, 30));
    EXPECT_EQ(*got, "note that the demo went well");
}

TEST(VoiceListener, WithoutFinalTheLastPartialComesAfterTheLimit)
{
    Listener l;
    l.voice.start();
    l.tasks[0]->say("card fix the tooltip ");
    Listener::settle();
    std::optional<QString> got;
    l.voice.stop([&](const QString& t) { got = t; });
    // An error after stop also finishes; here neither comes and the timer delivers.
    ASSERT_TRUE(waitFor([&] { return got.has_value(); }, 30));
    EXPECT_EQ(*got, "card fix the tooltip");
    EXPECT_TRUE(l.tasks[0]->cancelled);
}

TEST(VoiceListener, ErrorAfterStopFinishesErrorBeforeIsIgnored)
{
    Listener l;
    l.voice.start();
    l.tasks[0]->say("note a");
    l.tasks[0]->fail("decoder gone");
    Listener::settle();
    EXPECT_TRUE(l.voice.listening());
    std::optional<QString> got;
    l.voice.stop([&](const QString& t) { got = t; });
    l.tasks[0]->fail("decoder gone");
    Listener::settle();
    EXPECT_EQ(got, QString("note a"));
}

TEST(VoiceListener, LateResultsOfAnEarlierCommandAreDropped)
{
    Listener l;
    std::vector<QString> delivered;
    l.voice.start();
    l.tasks[0]->say("note first");
    Listener::settle();
    l.voice.stop([&](const QString& t) { delivered.push_back(t); });

    // The key goes down again before the first command's final text came: that
    // command is delivered with what it had, and the new one starts clean.
    l.voice.start();
    ASSERT_EQ(l.tasks.size(), 2u);
    EXPECT_EQ(delivered, (std::vector<QString>{"note first"}));
    EXPECT_EQ(l.voice.text(), "");

    l.tasks[0]->say("note first and more", true); // late, from the old task
    l.tasks[1]->say("card second");
    Listener::settle();
    EXPECT_EQ(l.voice.text(), "card second");

    l.voice.stop([&](const QString& t) { delivered.push_back(t); });
    l.tasks[1]->say("card second", true);
    Listener::settle();
    EXPECT_EQ(delivered, (std::vector<QString>{"note first", "card second"}));
}

TEST(VoiceListener, StartFailures)
{
    {
        std::vector<std::shared_ptr<ScriptedTask>> tasks;
        InputState input;
        VoiceListener voice(std::make_unique<ScriptedRecognizer>(&tasks, false),
                            std::make_unique<ScriptedInput>(&input));
        try {
            voice.start();
            FAIL() << "started without models";
        } catch (const AudioError& e) {
            EXPECT_EQ(e.description(), "Speech recognition is not available right now.");
        }
        EXPECT_FALSE(voice.listening());
        QString message;
        bool granted = true;
        voice.authorize([&](bool g, const QString& m) { granted = g, message = m; });
        EXPECT_FALSE(granted);
        EXPECT_EQ(message, "Speech recognition is off (install the package pocketsphinx-en-us).");
    }
    {
        // No permission guards the microphone here: a missing one (or only an
        // output's monitor) is told when listening starts, and nothing records.
        Listener l;
        l.input.device = false;
        bool granted = false;
        l.voice.authorize([&](bool g, const QString&) { granted = g; });
        EXPECT_TRUE(granted);
        try {
            l.voice.start();
            FAIL() << "started without a microphone";
        } catch (const AudioError& e) {
            EXPECT_EQ(e.description(), "No microphone input.");
        }
        EXPECT_FALSE(l.input.running);
        EXPECT_TRUE(l.tasks.empty());
    }
    {
        // The stream fails to open: the error comes through and nothing keeps running.
        Listener l;
        l.input.failStart = true;
        EXPECT_THROW(l.voice.start(), std::runtime_error);
        EXPECT_FALSE(l.voice.listening());
        EXPECT_FALSE(l.input.running);
        ASSERT_EQ(l.tasks.size(), 1u);
        EXPECT_TRUE(l.tasks[0]->cancelled);

        l.input.failStart = false;
        bool granted = false;
        l.voice.authorize([&](bool g, const QString&) { granted = g; });
        EXPECT_TRUE(granted);
        l.voice.start();
        EXPECT_TRUE(l.voice.listening());
    }
}

TEST(VoiceListener, AResultAfterTheListenerIsGoneReachesNothing)
{
    std::vector<std::shared_ptr<ScriptedTask>> tasks;
    InputState input;
    Scribbled<VoiceListener> voice(std::make_unique<ScriptedRecognizer>(&tasks),
                                   std::make_unique<ScriptedInput>(&input));
    voice->start();
    tasks[0]->say("note half"); // queued before the teardown
    voice.destroy();
    // The recogniser's thread answers late, as it may while the application ends.
    tasks[0]->say("note half and more", true);
    QCoreApplication::processEvents();
}

} // namespace
