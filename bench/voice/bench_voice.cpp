// Spoken commands decoded by the voice listener's recogniser and, side by side,
// by Debian's pocketsphinx_continuous with its default model on the same 16 kHz
// WAV files (espeak-ng voices and speeds): the first phrases, every head and
// filler in new wordings, a held-out set, and ordinary talk that must stay
// unknown; then live hearing's dictation decoder on a long stretch of talk,
// against the same command line. Reports intents right by voice and set, the
// share of ordinary talk acted on, word error rate of the payloads, CPU seconds
// per second of audio, and live hearing's share of one core. Ratios count; the
// machine is shared.
//
//   bench_voice [--voices voice@wpm,...] [--sets own,fresh,held] [--wavs DIR] [--no-cli] [--commands-only | --hearing-only]
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
// The first phrases, kept as they were so that figures compare across changes.
const Command ownCommands[] = {
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

// Every head and filler in new wordings, and talk that is no command: tuned on.
const Command freshCommands[] = {
    {"take a screenshot of the sales dashboard", K::screenshot, "the sales dashboard"},
    {"screenshot this error dialog", K::screenshot, "this error dialog"},
    {"screen shot the signup form", K::screenshot, "the signup form"},
    {"save this, the quarterly numbers", K::screenshot, "the quarterly numbers"},
    {"okay pin this", K::screenshot, ""},
    {"capture this", K::screenshot, ""},
    {"make a note to email the landlord", K::note, "to email the landlord"},
    {"add a note about the parking permit", K::note, "about the parking permit"},
    {"take a note, the printer needs toner", K::note, "the printer needs toner"},
    {"note that the server restarts at noon", K::note, "the server restarts at noon"},
    {"note pick up the keys", K::note, "pick up the keys"},
    {"add a card prepare the workshop slides", K::card, "prepare the workshop slides"},
    {"new card clean up the test data", K::card, "clean up the test data"},
    {"make a card translate the help page", K::card, "translate the help page"},
    {"create a card order new laptops", K::card, "order new laptops"},
    {"card renew the parking pass", K::card, "renew the parking pass"},
    {"add a to-do, water the plants", K::card, "water the plants"},
    {"add a todo call the plumber", K::card, "call the plumber"},
    {"add to-do check the invoices", K::card, "check the invoices"},
    {"to-do send the agenda", K::card, "send the agenda"},
    {"todo update the price list", K::card, "update the price list"},
    {"to do book a meeting room", K::card, "book a meeting room"},
    {"hey zelvan, note the door code is four two one", K::note, "the door code is four two one"},
    {"hey selvin take a screenshot", K::screenshot, ""},
    {"zelvan card fix the login bug", K::card, "fix the login bug"},
    {"okay, new card draft the newsletter", K::card, "draft the newsletter"},
    {"ok screenshot", K::screenshot, ""},
    {"please note that lunch is at one", K::note, "lunch is at one"},
    {"so, take a note about the budget", K::note, "about the budget"},
    {"um card ask for the keys", K::card, "ask for the keys"},
    {"uh, screenshot the map", K::screenshot, "the map"},
    {"save the file before you close it", K::unknown, ""},
    {"can you hear me", K::unknown, ""},
    {"I think we should leave soon", K::unknown, ""},
    {"let me check my calendar", K::unknown, ""},
    {"the meeting went well today", K::unknown, ""},
    {"where did I put my phone", K::unknown, ""},
    {"thanks, that was helpful", K::unknown, ""},
    {"she wrote a long note", K::unknown, ""},
    {"cards are on the table", K::unknown, ""},
    {"today is a good day", K::unknown, ""},
    {"notice the blue button", K::unknown, ""},
    {"okay thanks", K::unknown, ""},
};

// Held out: never looked at while tuning, to check that the tuning carries over.
const Command heldCommands[] = {
    {"screenshot the settings page", K::screenshot, "the settings page"},
    {"take a screenshot of this chart", K::screenshot, "this chart"},
    {"pin this for the retro", K::screenshot, "for the retro"},
    {"capture this window", K::screenshot, "window"},
    {"save this quote", K::screenshot, "quote"},
    {"screen shot", K::screenshot, ""},
    {"okay take a screenshot", K::screenshot, ""},
    {"note the train leaves at six", K::note, "the train leaves at six"},
    {"note that the keys are in the drawer", K::note, "the keys are in the drawer"},
    {"make a note, renew my passport", K::note, "renew my passport"},
    {"add a note the demo needs sound", K::note, "the demo needs sound"},
    {"take a note call mum on Sunday", K::note, "call mum on sunday"},
    {"please note remind Sam about the invoice", K::note, "remind sam about the invoice"},
    {"hey zelvan, make a note about the rent", K::note, "about the rent"},
    {"card review the budget draft", K::card, "review the budget draft"},
    {"new card fix the search page", K::card, "fix the search page"},
    {"add a card plan the offsite", K::card, "plan the offsite"},
    {"create a card reply to the auditors", K::card, "reply to the auditors"},
    {"make a card test the checkout", K::card, "test the checkout"},
    {"todo buy printer paper", K::card, "buy printer paper"},
    {"to do, call the garage", K::card, "call the garage"},
    {"add a to do pay the electricity bill", K::card, "pay the electricity bill"},
    {"so card sort the photos", K::card, "sort the photos"},
    {"um, note the wifi password changed", K::note, "the wifi password changed"},
    {"ok card write the summary", K::card, "write the summary"},
    {"uh take a note", K::note, ""},
    {"zelvan screenshot", K::screenshot, ""},
    {"hey selvin, card move the standup", K::card, "move the standup"},
    {"add a todo sign the lease", K::card, "sign the lease"},
    {"note that Priya is out on Friday", K::note, "priya is out on friday"},
    {"what are we having for dinner", K::unknown, ""},
    {"turn the music down please", K::unknown, ""},
    {"I'll be there in ten minutes", K::unknown, ""},
    {"the report is almost finished", K::unknown, ""},
    {"could you send me the link", K::unknown, ""},
    {"noted, thank you", K::unknown, ""},
    {"take care of yourself", K::unknown, ""},
    {"carry on with the plan", K::unknown, ""},
    {"to be honest I forgot", K::unknown, ""},
    {"screens are too bright here", K::unknown, ""},
};

struct Set {
    const char* name;
    const Command* begin;
    const Command* end;
};
const Set sets[] = {
    {"own", std::begin(ownCommands), std::end(ownCommands)},
    {"fresh", std::begin(freshCommands), std::end(freshCommands)},
    {"held out", std::begin(heldCommands), std::end(heldCommands)},
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

// A voice as espeak-ng's name and, after "@", words per minute (140 when left out).
bool speak(const QString& voice, const QString& text, const QString& out, const QString& dir)
{
    const QString raw = dir + "/raw.wav";
    const QStringList parts = voice.split('@');
    const QString speed = parts.size() > 1 ? parts[1] : QStringLiteral("140");
    return BenchTools::run({"espeak-ng", "-v", parts[0].toStdString(), "-s", speed.toStdString(), "-w",
                            raw.toStdString(), text.toStdString()})
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

// Intents right over the commands of one voice and set; talk that is no command
// counts apart, as acted on when it became anything but unknown.
struct Score {
    int right = 0;
    int total = 0;
    int talk = 0;
    int actedOn = 0;
    int errors = 0;
    int refWords = 0;

    void add(const Command& c, const QString& heard, bool talkApart)
    {
        const VoiceIntent got = VoiceIntent::parse(heard);
        if (talkApart && c.kind == K::unknown) {
            ++talk;
            actedOn += got.kind != K::unknown;
            return;
        }
        ++total;
        right += got.kind == c.kind;
        if (c.kind != K::unknown && *c.payload) {
            const QStringList ref = words(QString::fromUtf8(c.payload));
            errors += distance(ref, got.kind == c.kind ? words(got.text) : QStringList());
            refWords += int(ref.size());
        }
    }
    void operator+=(const Score& o)
    {
        right += o.right, total += o.total, talk += o.talk, actedOn += o.actedOn;
        errors += o.errors, refWords += o.refWords;
    }
};

QString percent(int n, int of)
{
    return of ? QString::number(100.0 * n / of, 'f', 0) + "%" : QStringLiteral("-");
}

// Live hearing: the dictation decoder on a long stretch of talk, and the key
// phrases picked from what it heard.
int hearing(const QStringList& voices, const QString& dir)
{
    // As the recording feeds it (48 kHz float through the resampler), against the command line on the same file.
    const QString talkWav = dir + "/talk.wav";
    const QString talk48 = dir + "/talk48.wav";
    if (!speak(voices.front(), talk, talkWav, dir)
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
    // The two voices the benchmark began with, so that the figures compare.
    const QStringList phraseVoices = voices.mid(0, 2);
    for (const QString& voice : phraseVoices) {
        for (qsizetype i = 0; i < sentences.size(); ++i, ++phrases) {
            const QString wav = dir + QString("/sentence-%1.wav").arg(phrases);
            if (!speak(voice, sentences[i], wav, dir)) {
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
    std::printf("\nkey phrases of %d sentences (%d voices)\n", phrases, int(phraseVoices.size()));
    std::printf("%-28s %8d\n", "the same", exact);
    std::printf("%-28s %8d\n", "with a word in common", sharing);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    // US variants at three speeds and a British voice; the first two are the
    // voices the benchmark began with.
    QStringList voices = {"en-us+f3@140", "en-us+klatt2@140", "en-gb+m3@150", "en-us+m1@165", "en-us+f2@130"};
    QString wavDir;
    bool withCli = true;
    bool withHearing = true;
    bool withCommands = true;
    QStringList only;
    for (int i = 1; i < argc; ++i) {
        const QString a = argv[i];
        if (a == "--voices" && i + 1 < argc)
            voices = QString(argv[++i]).split(',');
        else if (a == "--wavs" && i + 1 < argc)
            wavDir = argv[++i]; // keeps the spoken files between runs
        else if (a == "--no-cli")
            withCli = false;
        else if (a == "--sets" && i + 1 < argc)
            only = QString(argv[++i]).split(','); // by name, "held" for the held-out set
        else if (a == "--commands-only")
            withHearing = false;
        else if (a == "--hearing-only")
            withCommands = false;
    }

    QTemporaryDir tmp;
    const QString dir = wavDir.isEmpty() ? tmp.path() : wavDir;
    if (!withCommands)
        return hearing(voices, dir);
    struct Sample {
        const Command* command;
        int set;
        int voice;
        QString wav;
        double seconds;
    };
    std::vector<Sample> samples;
    for (int v = 0; v < voices.size(); ++v) {
        for (int s = 0; s < int(std::size(sets)); ++s) {
            if (!only.isEmpty() && !only.contains(QString(sets[s].name).section(' ', 0, 0)))
                continue;
            for (const Command* c = sets[s].begin; c != sets[s].end; ++c) {
                const QString name = QString("%1-%2-%3").arg(voices[v], sets[s].name).arg(c - sets[s].begin);
                const QString wav = dir + "/" + QString(name).replace(QRegularExpression("[^A-Za-z0-9@+-]"), "_") + ".wav";
                if (!QFile::exists(wav) && !speak(voices[v], QString::fromUtf8(c->spoken), wav, dir)) {
                    std::fprintf(stderr, "espeak-ng or sox failed\n");
                    return 1;
                }
                samples.push_back({c, s, v, wav, double(readWav(wav).size()) / SpeechRecognizer::sampleRate});
            }
        }
    }
    double audio = 0;
    for (const Sample& s : samples)
        audio += s.seconds;

    // Ours: the listener's recogniser, loaded once and kept (as between commands in a row).
    auto recognizer = SpeechRecognizer::create(SpeechRecognizer::Purpose::Command, 600);
    decode(*recognizer, std::vector<std::int16_t>(1600)); // waits for the models to load
    const double oursStart = cpuNow();
    std::vector<QString> oursText;
    for (const Sample& s : samples)
        oursText.push_back(decode(*recognizer, readWav(s.wav)));
    const double oursCpu = cpuNow() - oursStart;

    // The command line, once per command as a user would run it; its model load is part of each run.
    std::vector<QString> cliText;
    double cliCpu = 0;
    for (const Sample& s : samples) {
        if (!withCli) {
            cliText.push_back({});
            continue;
        }
        const BenchTools::Measured m = BenchTools::measure({"sh", "-c",
                                                            "pocketsphinx_continuous -infile '" + s.wav.toStdString()
                                                                + "' -logfn /dev/null > '" + s.wav.toStdString()
                                                                + ".txt'"});
        cliCpu += m.cpu;
        QFile out(s.wav + ".txt");
        out.open(QIODevice::ReadOnly);
        cliText.push_back(QString::fromUtf8(out.readAll()).simplified());
    }

    if (qEnvironmentVariableIsSet("BENCH_VOICE_VERBOSE"))
        for (std::size_t i = 0; i < samples.size(); ++i) {
            const auto mark = [&](const QString& heard) {
                return VoiceIntent::parse(heard).kind == samples[i].command->kind ? ' ' : 'x';
            };
            std::printf("%-18s %-9s %-50s | %c ours: %-45s | %c cli: %s\n",
                        voices[samples[i].voice].toUtf8().constData(), sets[samples[i].set].name,
                        samples[i].command->spoken, mark(oursText[i]), oursText[i].toUtf8().constData(),
                        mark(cliText[i]), cliText[i].toUtf8().constData());
        }

    std::printf("commands: %zu (%d voices), %.1f s of audio\n", samples.size(), int(voices.size()), audio);
    std::printf("intents right (commands; own: all its phrases, as before), and talk acted on\n");
    std::printf("%-18s %-9s %10s %10s   %10s %10s\n", "voice", "set", "ours", "cli", "talk ours", "talk cli");
    Score oursAll[std::size(sets)];
    Score cliAll[std::size(sets)];
    for (int s = 0; s < int(std::size(sets)); ++s) {
        for (int v = 0; v < voices.size(); ++v) {
            Score o;
            Score c;
            for (std::size_t i = 0; i < samples.size(); ++i)
                if (samples[i].set == s && samples[i].voice == v) {
                    o.add(*samples[i].command, oursText[i], s != 0);
                    c.add(*samples[i].command, cliText[i], s != 0);
                }
            std::printf("%-18s %-9s %10s %10s   %10s %10s\n", voices[v].toUtf8().constData(), sets[s].name,
                        percent(o.right, o.total).toUtf8().constData(),
                        withCli ? percent(c.right, c.total).toUtf8().constData() : "",
                        s ? (QString::number(o.actedOn) + "/" + QString::number(o.talk)).toUtf8().constData() : "",
                        s && withCli ? (QString::number(c.actedOn) + "/" + QString::number(c.talk)).toUtf8().constData()
                                     : "");
            oursAll[s] += o;
            cliAll[s] += c;
        }
        std::printf("%-18s %-9s %10s %10s   %10s %10s\n", "all", sets[s].name,
                    percent(oursAll[s].right, oursAll[s].total).toUtf8().constData(),
                    withCli ? percent(cliAll[s].right, cliAll[s].total).toUtf8().constData() : "",
                    s ? percent(oursAll[s].actedOn, oursAll[s].talk).toUtf8().constData() : "",
                    s && withCli ? percent(cliAll[s].actedOn, cliAll[s].talk).toUtf8().constData() : "");
    }
    std::printf("%-28s %12s %12s\n", "", "ours", "command line");
    std::printf("%-28s %11.0f%% %11.0f%%\n", "payload word error rate (own)",
                100.0 * oursAll[0].errors / std::max(1, oursAll[0].refWords),
                100.0 * cliAll[0].errors / std::max(1, cliAll[0].refWords));
    std::printf("%-28s %12.3f %12.3f\n", "CPU s per s of audio", oursCpu / audio, cliCpu / audio);
    if (withCli) {
        // What loading the model alone costs the command line, to compare decoding only.
        const QString silence = dir + "/silence.wav";
        BenchTools::run(
            {"sox", "-n", "-r", "16000", "-c", "1", "-b", "16", silence.toStdString(), "trim", "0", "0.5"});
        const BenchTools::Measured load = BenchTools::measure(
            {"pocketsphinx_continuous", "-infile", silence.toStdString(), "-logfn", "/dev/null"});
        std::printf("%-28s %12s %12.3f\n", "  its model load taken out", "",
                    std::max(0.0, cliCpu - load.cpu * double(samples.size())) / audio);
    }
    if (!withHearing)
        return 0;

    return hearing(voices, dir);
}
