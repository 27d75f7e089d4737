#include "activity/LiveHearing.h"
#include "activity/VoiceIntent.h"
#include "activity/VoiceListener.h"
#include "core/Log.h"
#include "platform/CaptureDevices.h"
#include "platform/DesktopHelpers.h"
#include "platform/SpeechRecognizer.h"
#include "support/PrivatePulse.h"
#include "support/TestSupport.h"

#include "platform/CaptureError.h"
#include "platform/SpeechInput.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstring>
#include <mutex>
#include <future>
#include <malloc.h>
#include <mutex>
#include <optional>

namespace {

// One malloc arena, as the application sets at its start: memory freed on the
// recognisers' threads can then go back to the system.
[[maybe_unused]] const int arenas = mallopt(M_ARENA_MAX, 1);

// Speech from espeak-ng (the voice the recogniser hears best; bench/voice
// measures accuracy over more voices and commands) as a 48 kHz mono WAV for the desktop's microphone feed,
// with a little silence around it.
QString speech(const QTemporaryDir& dir, const QString& name, const QString& text)
{
    const QString raw = dir.filePath(name + "-raw.wav");
    const QString out = dir.filePath(name + ".wav");
    if (!run("espeak-ng", {"-v", "en-us+klatt2", "-s", "140", "-w", raw, text}))
        return {};
    if (!run("sox", {raw, "-r", "48000", "-c", "1", "-b", "16", out, "pad", "0.3", "0.6"}))
        return {};
    return out;
}

// The same speech as 16 kHz mono samples, as the recogniser takes them; without
// dither, so that every run hears the same sound.
std::vector<std::int16_t> samples16k(const QTemporaryDir& dir, const QString& name, const QString& text)
{
    const QString wav = dir.filePath(name + "-raw.wav");
    const QString raw = dir.filePath(name + ".raw");
    if (!run("espeak-ng", {"-v", "en-us+klatt2", "-s", "140", "-w", wav, text})
        || !run("sox", {wav, "-D", "-r", "16000", "-c", "1", "-b", "16", "-e", "signed-integer", raw, "pad", "0.3", "0.6"}))
        return {};
    const QByteArray bytes = readFile(raw);
    std::vector<std::int16_t> out(std::size_t(bytes.size()) / 2);
    std::memcpy(out.data(), bytes.constData(), out.size() * 2);
    return out;
}

// This process's resident memory, in KiB.
long residentKiB()
{
    for (const QByteArray& line : readFile("/proc/self/status").split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').front().toLong();
    return 0;
}

QString sourceOutputs()
{
    QProcess p;
    p.start("pactl", {"list", "source-outputs"});
    p.waitForFinished(10000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

TEST(VoiceDesktop, SpokenCommandsBecomeIntents)
{
    TempSupport support;
    QTemporaryDir dir;
    VoiceListener voice;
    // What is checked is what the recogniser hears, however long a busy machine
    // takes to decode it; the listener's own deadline has a test of its own.
    voice.finishSeconds = 300;
    bool granted = false;
    voice.authorize([&](bool g, const QString&) { granted = g; });
    ASSERT_TRUE(granted);

    struct Command {
        const char* name;
        const char* spoken;
        VoiceIntent::Kind kind;
    };
    const Command commands[] = {
        {"shot", "take a screenshot of the leaderboard", VoiceIntent::Kind::screenshot},
        {"note", "note that the demo went well", VoiceIntent::Kind::note},
        {"card", "add a card write the release notes", VoiceIntent::Kind::card},
    };
    for (const Command& c : commands) {
        const QString wav = speech(dir, c.name, c.spoken);
        ASSERT_FALSE(wav.isEmpty());
        voice.start();
        ASSERT_TRUE(voice.listening());
        // Our own stream carries our id, so it never looks like another app's call.
        if (c.kind == VoiceIntent::Kind::screenshot) {
            EXPECT_TRUE(sourceOutputs().contains("application.id = \"app.zelvan.Zelvan\""));
        }
        ASSERT_TRUE(play(wav, "micfeed").ok);
        std::optional<QString> heard;
        voice.stop([&](const QString& text) { heard = text; });
        ASSERT_TRUE(waitFor([&] { return heard.has_value(); }, 300));
        EXPECT_EQ(VoiceIntent::parse(*heard).kind, c.kind) << c.spoken << " was heard as: " << heard->toStdString();
    }
    slogFlush();
    EXPECT_TRUE(readFile(support.file("zelvan.log")).contains("voice: listening (on-device: true, en-US)"));
}

// The voice key's microphone on a sound server of the test's own, which the test
// can point at a monitor or stop.
TEST(VoiceDesktop, TheCommandMicrophoneIsNeverAMonitorAndNeverWaitsOnAStoppedServer)
{
    PrivatePulse server(QStringLiteral("load-module module-null-source source_name=mic\n"
                                       "load-module module-null-sink sink_name=out\n"
                                       "set-default-source mic\n"));
    ASSERT_TRUE(server.started());
    const QString address = server.address();
    const QByteArray before = qgetenv("PULSE_SERVER");
    qputenv("PULSE_SERVER", address.toUtf8());
    struct Restore {
        QByteArray value;
        ~Restore() { value.isEmpty() ? qunsetenv("PULSE_SERVER") : qputenv("PULSE_SERVER", value); }
    } restore{before};

    const std::unique_ptr<SpeechInput> input = SpeechInput::create();
    ASSERT_TRUE(waitFor([&] { return input->hasDevice(); }, 20));
    const auto records = [&] {
        QProcess p;
        p.start("pactl", {"--server=" + address, "list", "source-outputs"});
        p.waitForFinished(10000);
        return p.readAllStandardOutput().contains("voice command");
    };
    input->start([](const std::int16_t*, std::size_t) {});
    EXPECT_TRUE(records());
    input->stop();

    // An output's monitor as the default source would hear the speakers.
    ASSERT_TRUE(run("pactl", {"--server=" + address, "set-default-source", "out.monitor"}));
    EXPECT_FALSE(input->hasDevice());
    EXPECT_THROW(input->start([](const std::int16_t*, std::size_t) {}), CaptureError);
    EXPECT_FALSE(records());
    ASSERT_TRUE(run("pactl", {"--server=" + address, "set-default-source", "mic"}));

    // A server that does not answer: each call gives up by itself, while the
    // server stays stopped.
    server.pause();
    auto asked = std::async(std::launch::async, [&] { return input->hasDevice(); });
    const bool askReturned = asked.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
    auto started = std::async(std::launch::async, [&] {
        try {
            input->start([](const std::int16_t*, std::size_t) {});
            return QString();
        } catch (const CaptureError& e) {
            return QString::fromUtf8(e.what());
        }
    });
    const bool startReturned = started.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
    server.resume();
    EXPECT_TRUE(askReturned) << "the question waited for the stopped server";
    EXPECT_FALSE(asked.get());
    EXPECT_TRUE(startReturned) << "the start waited for the stopped server";
    EXPECT_TRUE(started.get().startsWith("cannot reach the sound server"));

    // Back again: heard as before.
    EXPECT_TRUE(waitFor([&] { return input->hasDevice(); }, 20));
    server.kill();
    EXPECT_FALSE(input->hasDevice());
}

TEST(VoiceDesktop, HearingAParagraphGivesAKeyPhrase)
{
    QTemporaryDir dir;
    const QString wav = speech(dir, "talk",
                               "Their pricing page leads with the annual plan. The design team wants a new landing "
                               "page for the product launch. We should ship the leaderboard filter before the "
                               "Friday release.");
    ASSERT_FALSE(wav.isEmpty());

    LiveHearing hearing;
    std::vector<QString> phrases;
    hearing.onPhrase = [&](const QString& p) { phrases.push_back(p); };
    ASSERT_TRUE(hearing.start());
    std::unique_ptr<AudioSource> mic = CaptureDevices::system().microphone();
    mic->start({.buffer = [&](const CaptureBuffer& b) { hearing.append(b); }});
    ASSERT_TRUE(play(wav, "micfeed").ok);
    // Once speech pauses, the next tick harvests what was heard.
    EXPECT_TRUE(waitFor([&] { return !phrases.empty(); }, 60));
    mic->stop();
    hearing.stop();
    ASSERT_FALSE(phrases.empty());
    EXPECT_GE(phrases[0].split(' ').size(), 2);
}

// Nothing is loaded until the first command, whose sound waits while the models
// load; once no command has come for a while they go, and their memory with them.
TEST(VoiceDesktop, CommandModelsLoadForTheFirstCommandAndGoWhenIdle)
{
    QTemporaryDir dir;
    const std::vector<std::int16_t> said = samples16k(dir, "cold", "note that the demo went well");
    ASSERT_FALSE(said.empty());
    const long before = residentKiB();
    const auto recognizer = SpeechRecognizer::create(SpeechRecognizer::Purpose::Command, 2);
    waitFor([] { return false; }, 1);
    EXPECT_FALSE(recognizer->loaded());
    EXPECT_LT(residentKiB() - before, 20'000) << "models loaded before any command";

    // Cold: the whole command arrives before the models are in.
    std::mutex lock;
    std::optional<QString> heard;
    const auto task = recognizer->recognize([&](const SpeechRecognizer::Result& r) {
        if (r.isFinal || !r.error.isEmpty()) {
            std::lock_guard guard(lock);
            heard = r.error.isEmpty() ? r.text : "error: " + r.error;
        }
    });
    task->append(said.data(), said.size());
    task->endAudio();
    ASSERT_TRUE(waitFor(
        [&] {
            std::lock_guard guard(lock);
            return heard.has_value();
        },
        240));
    EXPECT_EQ(VoiceIntent::parse(*heard).kind, VoiceIntent::Kind::note) << heard->toStdString();
    EXPECT_TRUE(recognizer->loaded());
    const long loaded = residentKiB();
    // One search over the dictionary, the mixed one: a second, general one took
    // the loaded models to 175 MiB.
    EXPECT_LT(loaded - before, 140 * 1024) << "loaded " << (loaded - before) / 1024 << " MiB";

    ASSERT_TRUE(waitFor([&] { return !recognizer->loaded(); }, 60));
    EXPECT_LT(residentKiB() - before, (loaded - before) / 3)
        << "loaded " << (loaded - before) / 1024 << " MiB; freed, " << (residentKiB() - before) / 1024 << " MiB";
}

// Beside a recording, the decoder works out its text only when live hearing asks,
// and its models go as soon as hearing stops.
TEST(VoiceDesktop, DictationAnswersWhenAskedAndGoesWithItsTask)
{
    QTemporaryDir dir;
    const std::vector<std::int16_t> said =
        samples16k(dir, "talk", "The design team wants a new landing page for the product launch.");
    ASSERT_FALSE(said.empty());
    const auto recognizer = SpeechRecognizer::create(SpeechRecognizer::Purpose::Dictation);
    std::mutex lock;
    std::vector<QString> results;
    const auto task = recognizer->recognize([&](const SpeechRecognizer::Result& r) {
        std::lock_guard guard(lock);
        results.push_back(r.text);
    });
    for (std::size_t at = 0; at < said.size(); at += 1600)
        task->append(said.data() + at, std::min<std::size_t>(1600, said.size() - at));
    const auto count = [&] {
        std::lock_guard guard(lock);
        return results.size();
    };
    waitFor([] { return false; }, 5);
    EXPECT_EQ(count(), 0u) << "text worked out unasked";
    task->askText();
    ASSERT_TRUE(waitFor([&] { return count() > 0; }, 120));
    {
        std::lock_guard guard(lock);
        EXPECT_GE(results.back().split(' ').size(), 5) << results.back().toStdString();
    }
    EXPECT_TRUE(recognizer->loaded());
    task->cancel();
    EXPECT_TRUE(waitFor([&] { return !recognizer->loaded(); }, 60));
}

} // namespace

// Voices and phrases from bench/voice through the real command recogniser. Talk
// in which the grammar finds a head while the general model confidently hears
// other words there stays unknown, so the user gets the hint rather than a
// wrong card or note; commands in the same voices still act.
TEST(VoiceDesktop, OrdinaryTalkIsNoCommandWhileCommandsStillAct)
{
    QTemporaryDir dir;
    const auto pcm = [&](const QString& voice, const QString& speed, const QString& text) {
        const QString raw = dir.filePath("raw.wav");
        const QString out = dir.filePath("utterance.raw");
        if (!run("espeak-ng", {"-v", voice, "-s", speed, "-w", raw, text})
            || !run("sox", {"-D", raw, "-r", "16000", "-c", "1", "-b", "16", "-e", "signed-integer", "-t", "raw", out,
                            "pad", "0.3", "0.5"}))
            return QByteArray();
        return readFile(out);
    };
    const auto decode = [](SpeechRecognizer& recognizer, const QByteArray& pcm) {
        std::optional<QString> heard;
        std::mutex m;
        auto task = recognizer.recognize([&](const SpeechRecognizer::Result& r) {
            if (r.isFinal || !r.error.isEmpty()) {
                std::lock_guard lock(m);
                heard = r.error.isEmpty() ? r.text : QStringLiteral("(error) ") + r.error;
            }
        });
        // In one piece: how the decoder's blocks fall would otherwise depend on
        // the machine's load, and with them what it hears.
        task->append(reinterpret_cast<const std::int16_t*>(pcm.constData()), std::size_t(pcm.size()) / 2);
        task->endAudio();
        waitFor(
            [&] {
                std::lock_guard lock(m);
                return heard.has_value();
            },
            300);
        std::lock_guard lock(m);
        return heard.value_or(QStringLiteral("(nothing)"));
    };
    // What a recogniser hears depends on the voices it heard before (it adapts
    // to the sound as the listener's does over a session): each case gets a
    // recogniser of its own that first hears one sentence of the same voice.
    const auto hear = [&](const QString& voice, const QString& speed, const QString& text) {
        const QByteArray warm = pcm(voice, speed, QStringLiteral("What time is it"));
        const QByteArray said = pcm(voice, speed, text);
        if (warm.isEmpty() || said.isEmpty())
            return QStringLiteral("(no speech)");
        const auto recognizer = SpeechRecognizer::create(SpeechRecognizer::Purpose::Command, 600);
        decode(*recognizer, warm);
        return decode(*recognizer, said);
    };
    using K = VoiceIntent::Kind;
    struct Case {
        const char* voice;
        const char* speed;
        const char* spoken;
        K kind;
    };
    const Case cases[] = {
        // Talk: heard as "note me" before the general model's word could outvote the grammar.
        {"en-us+f2", "130", "can you hear me", K::unknown},
        {"en-us+f2", "130", "the meeting went well today", K::unknown},
        {"en-us+f3", "140", "she wrote a long note", K::unknown},
        // Talk the grammar or the command model pulled towards a head it barely heard.
        {"en-us+m1", "165", "today is a good day", K::unknown},
        {"en-us+f2", "130", "today is a good day", K::unknown},
        {"en-us+f2", "130", "turn the music down please", K::unknown},
        {"en-us+f2", "130", "to be honest I forgot", K::unknown},
        {"en-us+f2", "130", "carry on with the plan", K::unknown},
        // The heads written as the parser knows them, and the mis-heard wake phrase.
        {"en-us+klatt2", "140", "add to do book the venue", K::card},
        {"en-us+klatt2", "140", "add to-do check the invoices", K::card},
        {"en-us+f3", "140", "hey selvin take a screenshot", K::screenshot},
        // Commands that acted before still act.
        {"en-us+klatt2", "140", "take a screenshot of the sales dashboard", K::screenshot},
        {"en-us+klatt2", "140", "add a card prepare the workshop slides", K::card},
        {"en-us+m1", "165", "add a note about the parking permit", K::note},
        {"en-gb+m3", "150", "screenshot this error dialog", K::screenshot},
        // Short commands, where a head has the least sound to be sure of.
        {"en-us+klatt2", "140", "pin this", K::screenshot},
        {"en-us+f2", "130", "okay, save this", K::screenshot},
    };
    for (const Case& c : cases) {
        const QString heard = hear(c.voice, c.speed, c.spoken);
        EXPECT_EQ(VoiceIntent::parse(heard).kind, c.kind)
            << c.spoken << " (" << c.voice << ") was heard as: " << heard.toStdString();
    }
}

// The application makes its command and dictation recognisers at once, and each
// sets itself up on its own thread: several set-ups side by side must all finish.
TEST(VoiceDesktop, RecognisersSetUpSideBySideAllAnswer)
{
    std::vector<std::unique_ptr<SpeechRecognizer>> recognizers;
    for (int i = 0; i < 4; ++i)
        recognizers.push_back(SpeechRecognizer::create(i % 2 ? SpeechRecognizer::Purpose::Dictation
                                                             : SpeechRecognizer::Purpose::Command));
    std::atomic<int> finals = 0;
    std::vector<std::shared_ptr<SpeechTask>> tasks;
    for (auto& r : recognizers) {
        tasks.push_back(r->recognize([&](const SpeechRecognizer::Result& result) {
            if (result.isFinal || !result.error.isEmpty())
                ++finals;
        }));
        const std::vector<std::int16_t> silence(SpeechRecognizer::sampleRate / 2, 0);
        tasks.back()->append(silence.data(), silence.size());
        tasks.back()->endAudio();
    }
    EXPECT_TRUE(waitFor([&] { return finals == 4; }, 240)) << finals << " of 4 answered";
}
