// Spoken commands decoded by the voice listener's recogniser and, side by side,
// by Debian's pocketsphinx_continuous with its default model on the same 16 kHz
// WAV files (two espeak-ng voices); then live hearing's dictation decoder on a
// long stretch of talk, against the same command line. Reports intents right,
// word error rate of the payloads, CPU seconds per second of audio, and live
// hearing's share of one core. Ratios count; the machine is shared.
//
//   bench_voice [--voices v1,v2]
#include "activity/KeyPhrase.h"
#include "activity/VoiceIntent.h"
#include "platform/SpeechRecognizer.h"
#include "BenchTools.h"

#include <QCoreApplication>
#include <cstring>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>
#include <QTemporaryDir>
#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <vector>

namespace {

struct Command {
    const char* spoken;
    VoiceIntent::Kind kind;
    const char* payload;
};

using K = VoiceIntent::Kind;
const Command commands[] = {
    {"Screenshot, their pricing leads with the annual plan.", K::screenshot, "their pricing leads with the annual plan"},
    {"Okay, save this", K::screenshot, ""},
    {"take a screenshot of the leaderboard", K::screenshot, "the leaderboard"},
    {"Note: check the venue page on mobile.", K::note, "check the venue page on mobile"},
    {"note that Varra wants the export by Friday", K::note, "varra wants the export by friday"},
    {"Card send the brief to Varra", K::card, "send the brief to varra"},
    {"Add a to do: renew the domain", K::card, "renew the domain"},
    {"To do, fix the wallet filter tooltip.", K::card, "fix the wallet filter tooltip"},
    {"What time is it", K::unknown, ""},
    {"pin this", K::screenshot, ""},
    {"capture this, the error message on the login page", K::screenshot, "the error message on the login page"},
    {"screenshot", K::screenshot, ""},
    {"screenshot the chart looks wrong", K::screenshot, "the chart looks wrong"},
    {"make a note call the designer tomorrow", K::note, "call the designer tomorrow"},
    {"add a note the client prefers email", K::note, "the client prefers email"},
    {"take a note budget review on Monday", K::note, "budget review on monday"},
    {"note buy more coffee", K::note, "buy more coffee"},
    {"note the meeting moved to three", K::note, "the meeting moved to three"},
    {"new card update the onboarding copy", K::card, "update the onboarding copy"},
    {"add a card write the release notes", K::card, "write the release notes"},
    {"make a card review the pull request", K::card, "review the pull request"},
    {"create a card book the flights", K::card, "book the flights"},
    {"card call the bank", K::card, "call the bank"},
    {"todo renew the certificate", K::card, "renew the certificate"},
    {"okay note send the invoice", K::note, "send the invoice"},
    {"please take a screenshot", K::screenshot, ""},
    {"so card plan the team lunch", K::card, "plan the team lunch"},
    {"save this for later", K::screenshot, "for later"},
    {"note that the demo went well", K::note, "the demo went well"},
    {"the weather is nice today", K::unknown, ""},
    {"card fix the broken link on the home page", K::card, "fix the broken link on the home page"},
    {"note ask about the contract", K::note, "ask about the contract"},
};

const char* const talk =
    "Their pricing page leads with the annual plan. The design team wants a new landing page for the product "
    "launch. We should ship the leaderboard filter before the Friday release. The support queue grew last week, "
    "mostly questions about billing and the export feature. Next quarter we want to hire two engineers and one "
    "designer. The customer asked for a shorter contract and a discount on the yearly price. Our mobile app still "
    "crashes on older phones when the camera opens. Marketing would like a video for the home page and a new "
    "email campaign.";

double cpuNow()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

std::vector<std::int16_t> readWav(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QByteArray data = f.readAll().mid(44);
    std::vector<std::int16_t> samples(std::size_t(data.size()) / 2);
    std::memcpy(samples.data(), data.constData(), samples.size() * 2);
    return samples;
}

bool speak(const QString& voice, const QString& text, const QString& out, const QString& dir)
{
    const QString raw = dir + "/raw.wav";
    return BenchTools::run(
               {"espeak-ng", "-v", voice.toStdString(), "-s", "140", "-w", raw.toStdString(), text.toStdString()})
        && BenchTools::run({"sox", raw.toStdString(), "-r", "16000", "-c", "1", "-b", "16", out.toStdString(), "pad",
                            "0.3", "0.5"});
}

// Decodes one whole utterance, fed in listener-sized buffers.
QString decode(SpeechRecognizer& recognizer, const std::vector<std::int16_t>& samples)
{
    std::mutex m;
    std::condition_variable cv;
    bool done = false;
    QString text;
    auto task = recognizer.recognize([&](const SpeechRecognizer::Result& r) {
        if (!r.isFinal && r.error.isEmpty())
            return;
        std::lock_guard lock(m);
        text = r.text;
        done = true;
        cv.notify_one();
    });
    for (std::size_t at = 0; at < samples.size(); at += 2048)
        task->append(samples.data() + at, std::min<std::size_t>(2048, samples.size() - at));
    task->endAudio();
    std::unique_lock lock(m);
    cv.wait(lock, [&] { return done; });
    return text;
}

QStringList words(const QString& text)
{
    QString t = text.toLower();
    t.replace(QRegularExpression("[^a-z0-9' ]"), " ");
    return t.split(' ', Qt::SkipEmptyParts);
}

// Word-level edit distance.
int distance(const QStringList& a, const QStringList& b)
{
    std::vector<int> row(std::size_t(b.size()) + 1);
    for (std::size_t j = 0; j < row.size(); ++j)
        row[j] = int(j);
    for (qsizetype i = 1; i <= a.size(); ++i) {
        int diag = row[0];
        row[0] = int(i);
        for (qsizetype j = 1; j <= b.size(); ++j) {
            const int up = row[std::size_t(j)];
            row[std::size_t(j)] = std::min({up + 1, row[std::size_t(j - 1)] + 1, diag + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diag = up;
        }
    }
    return row.back();
}

struct Score {
    int right = 0;
    int total = 0;
    int errors = 0;
    int refWords = 0;
    double cpu = 0;

    void add(const Command& c, const QString& heard)
    {
        const VoiceIntent got = VoiceIntent::parse(heard);
        ++total;
        right += got.kind == c.kind;
        if (c.kind != K::unknown && *c.payload) {
            const QStringList ref = words(QString::fromUtf8(c.payload));
            errors += distance(ref, got.kind == c.kind ? words(got.text) : QStringList());
            refWords += int(ref.size());
        }
    }
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList voices = {"en-us+f3", "en-us+klatt2"};
    for (int i = 1; i + 1 < argc; ++i)
        if (QString(argv[i]) == "--voices")
            voices = QString(argv[i + 1]).split(',');

    QTemporaryDir dir;
    struct Sample {
        const Command* command;
        QString wav;
        double seconds;
    };
    std::vector<Sample> samples;
    for (const QString& voice : voices) {
        for (const Command& c : commands) {
            const QString wav = dir.filePath(QString("cmd-%1.wav").arg(samples.size()));
            if (!speak(voice, QString::fromUtf8(c.spoken), wav, dir.path())) {
                std::fprintf(stderr, "espeak-ng or sox failed\n");
                return 1;
            }
            samples.push_back({&c, wav, double(readWav(wav).size()) / SpeechRecognizer::sampleRate});
        }
    }
    double audio = 0;
    for (const Sample& s : samples)
        audio += s.seconds;

    // Ours: the listener's recogniser, loaded once and kept (as between commands in a row).
    auto recognizer = SpeechRecognizer::create(SpeechRecognizer::Purpose::Command, 600);
    decode(*recognizer, std::vector<std::int16_t>(1600)); // waits for the models to load
    Score ours;
    Score cli;
    const double oursStart = cpuNow();
    std::vector<QString> oursText;
    for (const Sample& s : samples) {
        oursText.push_back(decode(*recognizer, readWav(s.wav)));
        ours.add(*s.command, oursText.back());
    }
    ours.cpu = cpuNow() - oursStart;

    // The command line, once per command as a user would run it; its model load is part of each run.
    std::vector<QString> cliText;
    for (const Sample& s : samples) {
        const BenchTools::Measured m = BenchTools::measure({"sh", "-c",
                                                            "pocketsphinx_continuous -infile '" + s.wav.toStdString()
                                                                + "' -logfn /dev/null > '" + s.wav.toStdString()
                                                                + ".txt'"});
        cli.cpu += m.cpu;
        QFile out(s.wav + ".txt");
        out.open(QIODevice::ReadOnly);
        cliText.push_back(QString::fromUtf8(out.readAll()).simplified());
        cli.add(*s.command, cliText.back());
    }
    // What loading the model alone costs the command line, to compare decoding only.
    const QString silence = dir.filePath("silence.wav");
    BenchTools::run({"sox", "-n", "-r", "16000", "-c", "1", "-b", "16", silence.toStdString(), "trim", "0", "0.5"});
    const BenchTools::Measured load = BenchTools::measure(
        {"pocketsphinx_continuous", "-infile", silence.toStdString(), "-logfn", "/dev/null"});

    if (qEnvironmentVariableIsSet("BENCH_VOICE_VERBOSE"))
        for (std::size_t i = 0; i < samples.size(); ++i)
            std::printf("  %-55s | ours: %-45s | cli: %s\n", samples[i].command->spoken,
                        oursText[i].toUtf8().constData(), cliText[i].toUtf8().constData());

    std::printf("commands: %zu (%d voices), %.1f s of audio\n", samples.size(), int(voices.size()), audio);
    std::printf("%-28s %12s %12s\n", "", "ours", "command line");
    std::printf("%-28s %11.0f%% %11.0f%%\n", "intents right", 100.0 * ours.right / ours.total,
                100.0 * cli.right / cli.total);
    std::printf("%-28s %11.0f%% %11.0f%%\n", "payload word error rate",
                100.0 * ours.errors / std::max(1, ours.refWords), 100.0 * cli.errors / std::max(1, cli.refWords));
    std::printf("%-28s %12.3f %12.3f\n", "CPU s per s of audio", ours.cpu / audio, cli.cpu / audio);
    std::printf("%-28s %12s %12.3f\n", "  its model load taken out", "",
                std::max(0.0, cli.cpu - load.cpu * double(samples.size())) / audio);

    // Live hearing: the dictation decoder on a long stretch of talk, as the
    // recording feeds it (48 kHz float through the resampler), against the command line on the same file.
    const QString talkWav = dir.filePath("talk.wav");
    const QString talk48 = dir.filePath("talk48.wav");
    if (!speak(voices.front(), talk, talkWav, dir.path())
        || !BenchTools::run({"sox", talkWav.toStdString(), "-r", "48000", "-e", "floating-point", "-b", "32", "-t",
                             "raw", talk48.toStdString()})) {
        std::fprintf(stderr, "espeak-ng or sox failed\n");
        return 1;
    }
    QFile raw48(talk48);
    raw48.open(QIODevice::ReadOnly);
    const QByteArray floats = raw48.readAll();
    const auto* f = reinterpret_cast<const float*>(floats.constData());
    const std::int64_t frames = floats.size() / 4;
    const double talkSeconds = double(frames) / 48000;

    auto dictation = SpeechRecognizer::create(SpeechRecognizer::Purpose::Dictation, 600);
    decode(*dictation, std::vector<std::int16_t>(1600));
    SpeechResampler resampler;
    std::mutex m;
    std::condition_variable cv;
    bool done = false;
    QString heard;
    const double hearStart = cpuNow();
    auto task = dictation->recognize([&](const SpeechRecognizer::Result& r) {
        if (!r.isFinal)
            return;
        std::lock_guard lock(m);
        heard = r.text;
        done = true;
        cv.notify_one();
    });
    for (std::int64_t at = 0; at < frames; at += 4096) {
        const auto pcm = resampler.convert(f + at, std::min<std::int64_t>(4096, frames - at), 48000, 1);
        task->append(pcm.data(), pcm.size());
        // Live hearing asks for the text once per 2-second tick.
        if ((at / 4096) % 24 == 23)
            task->askText();
    }
    task->endAudio();
    {
        std::unique_lock lock(m);
        cv.wait(lock, [&] { return done; });
    }
    const double hearCpu = cpuNow() - hearStart;
    const BenchTools::Measured cliTalk = BenchTools::measure({"sh", "-c",
                                                              "pocketsphinx_continuous -infile '"
                                                                  + talkWav.toStdString() + "' -logfn /dev/null > '"
                                                                  + talkWav.toStdString() + ".txt'"});
    QFile cliOut(talkWav + ".txt");
    cliOut.open(QIODevice::ReadOnly);
    const QString cliHeard = QString::fromUtf8(cliOut.readAll());
    const QStringList ref = words(QString::fromUtf8(talk));
    std::printf("\nlive hearing on %.1f s of talk\n", talkSeconds);
    std::printf("%-28s %11.1f%% %11.1f%%\n", "share of one core", 100.0 * hearCpu / talkSeconds,
                100.0 * cliTalk.cpu / talkSeconds);
    std::printf("%-28s %11.0f%% %11.0f%%\n", "word error rate", 100.0 * distance(ref, words(heard)) / ref.size(),
                100.0 * distance(ref, words(cliHeard)) / ref.size());
    if (qEnvironmentVariableIsSet("BENCH_VOICE_VERBOSE"))
        std::printf("  ours: %s\n  cli:  %s\n", heard.toUtf8().constData(), cliHeard.simplified().toUtf8().constData());

    // Key phrases: each sentence of the talk in each voice, heard on its own as
    // live hearing harvests at pauses; the phrase picked from what was heard
    // against the one picked from the written sentence.
    const QStringList sentences = QString::fromUtf8(talk).split(QRegularExpression("(?<=\\.)\\s+"), Qt::SkipEmptyParts);
    int exact = 0;
    int sharing = 0;
    int phrases = 0;
    for (const QString& voice : voices) {
        for (qsizetype i = 0; i < sentences.size(); ++i, ++phrases) {
            const QString wav = dir.filePath(QString("sentence-%1.wav").arg(phrases));
            if (!speak(voice, sentences[i], wav, dir.path())) {
                std::fprintf(stderr, "espeak-ng or sox failed\n");
                return 1;
            }
            const QString said = decode(*dictation, readWav(wav));
            const QStringList want = words(KeyPhrase::extract(sentences[i], 7).value_or(QString()));
            const QStringList got = words(KeyPhrase::extract(said, 7).value_or(QString()));
            exact += !want.isEmpty() && want == got;
            sharing += std::any_of(want.begin(), want.end(), [&](const QString& w) { return got.contains(w); });
            if (qEnvironmentVariableIsSet("BENCH_VOICE_VERBOSE"))
                std::printf("  %-40s | %s\n", want.join(' ').toUtf8().constData(), got.join(' ').toUtf8().constData());
        }
    }
    std::printf("\nkey phrases of %d sentences (%d voices)\n", phrases, int(voices.size()));
    std::printf("%-28s %8d\n", "the same", exact);
    std::printf("%-28s %8d\n", "with a word in common", sharing);
    return 0;
}
