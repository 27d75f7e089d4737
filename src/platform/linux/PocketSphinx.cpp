#include "platform/SpeechRecognizer.h"

#include "platform/Memory.h"
#include "platform/SystemLog.h"

#include <QFile>
#include <QTemporaryFile>
#include <QRegularExpression>
#include <QStringList>
#include <QTextStream>
#include <QSet>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <pocketsphinx.h>
#include <sphinxbase/logmath.h>
#include <sphinxbase/ngram_model.h>
#include <pthread.h>
#include <thread>

namespace {

// The library's log file is one process-wide FILE that every decoder's set-up
// closes and opens again: two set-ups at once close it twice and corrupt stdio
// (seen as a hang of the whole process). Set-ups and frees take turns.
std::mutex& setupLock()
{
    static std::mutex lock;
    return lock;
}

const QString modelDir = QStringLiteral("/usr/share/pocketsphinx/model/en-us/");
const QString acousticModel = modelDir + QStringLiteral("en-us");
const QString languageModel = modelDir + QStringLiteral("en-us.lm.bin");
const QString dictionary = modelDir + QStringLiteral("cmudict-en-us.dict");

// Dictation knows the general model's most common words only: the rest cost
// tens of megabytes and, on recorded speech, lost more words to confusion than
// they won.
constexpr int dictationWords = 40000;

// The pronunciations, in the dictionary's own format, of the general model's
// most likely words; empty when the dictionary cannot be read.
QByteArray commonWordsDictionary(ngram_model_t* model)
{
    QSet<QByteArray> common;
    std::vector<std::pair<int32, const char*>> ranked;
    const uint32 count = ngram_model_get_counts(model)[0];
    ranked.reserve(count);
    for (uint32 i = 0; i < count; ++i) {
        const char* word = ngram_word(model, int32(i));
        ranked.emplace_back(ngram_score(model, word, nullptr), word);
    }
    const auto keep = std::min<std::size_t>(ranked.size(), dictationWords);
    std::partial_sort(ranked.begin(), ranked.begin() + std::ptrdiff_t(keep), ranked.end(),
                      [](const auto& a, const auto& b) { return a.first > b.first; });
    for (std::size_t i = 0; i < keep; ++i)
        common.insert(QByteArray(ranked[i].second));
    QFile file(dictionary);
    if (common.isEmpty() || !file.open(QIODevice::ReadOnly))
        return {};
    QByteArray out;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine();
        QByteArray word = line.left(line.indexOf(' '));
        // Other pronunciations are written "word(2)".
        if (const qsizetype paren = word.indexOf('('); paren > 0)
            word.truncate(paren);
        if (common.contains(word))
            out += line;
    }
    return out;
}

// `data` in a temporary file of its own, for the library's calls that read
// files only; false when it could not be written.
bool writeTemporary(QTemporaryFile& file, const QByteArray& data)
{
    return file.open() && file.write(data) == data.size() && file.flush();
}

// The general language model, read with the decoder's settings and arithmetic;
// null when it cannot be read.
ngram_model_t* readGeneralModel(ps_decoder_t* ps)
{
    const QByteArray path = QFile::encodeName(languageModel);
    return ngram_model_read(ps_get_config(ps), path.constData(), NGRAM_AUTO, ps_get_logmath(ps));
}

// How commands begin; the decoder leans towards these at the start of an utterance.
const char* const commandHeads[] = {
    "take a screenshot", "screenshot",  "screen shot", "save this",  "pin this",   "capture this", "make a note",
    "add a note",        "take a note", "note that",   "note",       "add a card", "new card",     "make a card",
    "create a card",     "card",        "add a to do", "add a todo", "add to do",  "to do",        "todo",
};
const char* const commandLeads[] = {"", "okay", "ok", "please", "so", "um", "uh", "hey zelvan", "hey selvin", "zelvan"};
// A word the general model is this sure of, heard where the grammar put a
// command's head, outvotes the grammar: the grammar finds some head in almost
// any sound. Measured on bench/voice.
constexpr double sureWord = 0.9;
// A head only the grammar heard, which the mix's own words do not begin with,
// acts only when its sound fits it this well: the mean acoustic score per frame
// over the head, in the decoder's scaled log units. Below it, the grammar most
// likely pulled other talk towards a head ("today" heard as "todo"), and the
// words the mix heard are handed on instead. Measured on bench/voice.
constexpr double headFit = -75;
// A head only the mix heard, with the grammar finding none there, acts when the
// mix's lattice gives its first word at least this posterior. Measured on bench/voice.
constexpr double mixSure = 0.2;
// Share of the command model in the mix with the general one; measured on bench/voice.
constexpr float commandWeight = 0.3f;
// The phones of the acoustic model: single-phone words make a loop that soaks up
// whatever follows a command's head in the grammar pass.
const char* const phones[] = {"AA", "AE", "AH", "AO", "AW", "AY", "B",  "CH", "D", "DH", "EH", "ER", "EY",
                              "F",  "G",  "HH", "IH", "IY", "JH", "K",  "L",  "M", "N",  "NG", "OW", "OY",
                              "P",  "R",  "S",  "SH", "T",  "TH", "UH", "UW", "V", "W",  "Y",  "Z",  "ZH"};

// A grammar of a command's lead and head followed by anything, or anything at all.
QByteArray headGrammar()
{
    QStringList loop;
    for (const char* phone : phones)
        loop << QStringLiteral("ph_") + QString::fromLatin1(phone).toLower();
    QStringList leads;
    for (const char* lead : commandLeads)
        if (*lead)
            leads << QString::fromLatin1(lead);
    QStringList heads;
    for (const char* head : commandHeads)
        heads << QString::fromLatin1(head);
    const QString g = QStringLiteral("#JSGF V1.0;\ngrammar heads;\n<any> = %1;\n<lead> = %2;\n<head> = %3;\n"
                                     "public <command> = [<lead>] ( /1/ <head> | /0.1/ <any> ) <any>*;\n")
                          .arg(loop.join(QStringLiteral(" | ")), leads.join(QStringLiteral(" | ")),
                               heads.join(QStringLiteral(" | ")));
    return g.toUtf8();
}

// The words that may come before a command's head.
const QSet<QString>& leadWords()
{
    static const QSet<QString> words = [] {
        QSet<QString> set;
        for (const char* lead : commandLeads)
            for (const QString& w : QString::fromLatin1(lead).split(QLatin1Char(' '), Qt::SkipEmptyParts))
                set.insert(w);
        return set;
    }();
    return words;
}

struct Word {
    QString text;
    int start = 0;
    int end = 0;
    double posterior = 1; // from the lattice; 1 when the search gives none
    int acoustic = 0;     // the acoustic score over its frames
};

// The words of the last utterance with their frames; silence, noise and the
// grammar's phone loop left out, alternative pronunciations named by their word.
std::vector<Word> segments(ps_decoder_t* ps)
{
    static const QRegularExpression variant(QStringLiteral("\\(\\d+\\)$"));
    std::vector<Word> out;
    for (ps_seg_t* it = ps_seg_iter(ps); it; it = ps_seg_next(it)) {
        QString w = QString::fromUtf8(ps_seg_word(it));
        if (w.startsWith(QLatin1Char('<')) || w.startsWith(QLatin1Char('[')) || w.startsWith(QLatin1String("ph_"))
            || w.startsWith(QLatin1Char('(')))
            continue;
        w.remove(variant);
        int start = 0;
        int end = 0;
        ps_seg_frames(it, &start, &end);
        int32 ascr = 0;
        int32 lscr = 0;
        int32 lback = 0;
        const int32 prob = ps_seg_prob(it, &ascr, &lscr, &lback);
        out.push_back({w, start, end, std::min(1.0, logmath_exp(ps_get_logmath(ps), prob)), ascr});
    }
    return out;
}

// A bigram model, in ARPA text, of the commands' openings.
QByteArray commandModel()
{
    std::map<QString, int> unigrams;
    std::map<std::pair<QString, QString>, int> bigrams;
    int total = 0;
    for (const char* lead : commandLeads) {
        for (const char* head : commandHeads) {
            QString prev = QStringLiteral("<s>");
            unigrams[prev]++;
            const QString phrase = (QString::fromLatin1(lead) + ' ' + QString::fromLatin1(head)).trimmed();
            for (const QString& word : phrase.split(' ')) {
                unigrams[word]++;
                bigrams[{prev, word}]++;
                prev = word;
                total++;
            }
        }
    }
    QByteArray arpa;
    QTextStream out(&arpa);
    out << "\\data\\\nngram 1=" << unigrams.size() + 1 << "\nngram 2=" << bigrams.size() << "\n\n\\1-grams:\n";
    out << "-1.0 </s> 0\n";
    for (const auto& [word, n] : unigrams)
        out << (word == QLatin1String("<s>") ? -99.0 : std::log10(double(n) / total)) << ' ' << word << " -1.0\n";
    out << "\n\\2-grams:\n";
    for (const auto& [pair, n] : bigrams)
        out << std::log10(0.9 * n / unigrams[pair.first]) << ' ' << pair.first << ' ' << pair.second << '\n';
    out << "\n\\end\\\n";
    out.flush();
    return arpa;
}

struct Engine;

class PsTask final : public SpeechTask {
public:
    PsTask(std::shared_ptr<Engine> engine, SpeechRecognizer::Handler handler)
        : engine_(std::move(engine))
        , handler(std::move(handler))
    {
    }
    void append(const std::int16_t* samples, std::size_t count) override;
    void endAudio() override;
    void cancel() override;
    void askText() override;

    std::shared_ptr<Engine> engine_;
    const SpeechRecognizer::Handler handler;
    // Guarded by the engine's mutex.
    std::vector<std::int16_t> pending;
    bool ended = false;
    bool cancelled = false;
    bool asked = false;
};

// The decoder's worker and its queue of tasks, shared with the tasks so that a
// task outliving its recogniser stays harmless.
struct Engine {
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<std::shared_ptr<PsTask>> queue;
    bool quit = false;
    std::atomic<bool> loaded = false;

    void notify() { wake.notify_one(); }
};

void PsTask::append(const std::int16_t* samples, std::size_t count)
{
    {
        std::lock_guard lock(engine_->mutex);
        if (ended || cancelled || engine_->quit)
            return;
        pending.insert(pending.end(), samples, samples + count);
    }
    engine_->notify();
}

void PsTask::endAudio()
{
    {
        std::lock_guard lock(engine_->mutex);
        ended = true;
    }
    engine_->notify();
}

void PsTask::askText()
{
    {
        std::lock_guard lock(engine_->mutex);
        asked = true;
    }
    engine_->notify();
}

void PsTask::cancel()
{
    {
        std::lock_guard lock(engine_->mutex);
        cancelled = true;
        pending.clear();
    }
    engine_->notify();
}

class PocketSphinx final : public SpeechRecognizer {
public:
    PocketSphinx(Purpose purpose, double keepSeconds)
        : purpose_(purpose)
        , keep_(std::chrono::milliseconds(qint64(std::max(0.0, keepSeconds) * 1000)))
        , engine_(std::make_shared<Engine>())
    {
    }

    ~PocketSphinx() override
    {
        {
            std::lock_guard lock(engine_->mutex);
            engine_->quit = true;
        }
        engine_->notify();
        if (worker_.joinable())
            worker_.join();
    }

    bool available() const override { return installed(); }
    QString locale() const override { return QStringLiteral("en-US"); }
    bool onDevice() const override { return true; }
    bool loaded() const override { return engine_->loaded; }

    std::shared_ptr<SpeechTask> recognize(Handler handler) override
    {
        auto task = std::make_shared<PsTask>(engine_, std::move(handler));
        {
            std::lock_guard lock(engine_->mutex);
            if (!engine_->quit)
                engine_->queue.push_back(task);
            // Nothing is loaded before the first task; loading takes a second or
            // so, on the worker, while the task's sound waits in its queue.
            if (!worker_.joinable()) {
                worker_ = std::thread([this] { run(); });
                pthread_setname_np(worker_.native_handle(),
                                   purpose_ == Purpose::Command ? "zelvan.command" : "zelvan.hearing");
            }
        }
        engine_->notify();
        return task;
    }

private:
    ps_decoder_t* load(QString* error)
    {
        const std::lock_guard<std::mutex> turn(setupLock());
        if (!available()) {
            *error = QStringLiteral("the speech models are not installed");
            return nullptr;
        }
        const QByteArray hmm = QFile::encodeName(acousticModel);
        const QByteArray lm = QFile::encodeName(languageModel);
        const QByteArray dict = QFile::encodeName(dictionary);
        cmd_ln_t* config = nullptr;
        // Dictation starts with a one-word dictionary: its own is made from the
        // general model once that is loaded, which is then read only once.
        QTemporaryFile seed;
        if (purpose_ == Purpose::Dictation) {
            if (!writeTemporary(seed, "a AH\n")) {
                *error = QStringLiteral("the speech models could not be read");
                return nullptr;
            }
            const QByteArray seedPath = QFile::encodeName(seed.fileName());
            // Narrow beams, every other frame scored, no second pass: cheap enough
            // to run beside a recording. Narrower phone beams cost bench/voice's
            // key phrases.
            config = cmd_ln_init(nullptr, ps_args(), TRUE, "-hmm", hmm.constData(), "-dict",
                                 seedPath.constData(), "-logfn", "/dev/null", "-beam", "1e-35", "-wbeam", "1e-30",
                                 "-ds", "2", "-maxhmmpf", "1500", "-maxwpf", "5", "-topn", "2", "-fwdflat", "no",
                                 "-bestpath", "no", nullptr);
        } else {
            config = cmd_ln_init(nullptr, ps_args(), TRUE, "-hmm", hmm.constData(), "-lm", lm.constData(), "-dict",
                                 dict.constData(), "-logfn", "/dev/null", nullptr);
        }
        // Commands search only the mix made below: the general model gets no
        // search of its own, which would hold tens of megabytes unused.
        if (config && purpose_ == Purpose::Command)
            cmd_ln_set_str_r(config, "-lm", nullptr);
        ps_decoder_t* ps = config ? ps_init(config) : nullptr;
        if (config)
            cmd_ln_free_r(config);
        if (!ps) {
            *error = QStringLiteral("the speech models could not be loaded");
            return nullptr;
        }
        if (purpose_ == Purpose::Dictation && !useCommonWords(ps)) {
            ps_free(ps);
            *error = QStringLiteral("the speech models could not be loaded");
            return nullptr;
        }
        // Without the mix the general model alone still recognises commands.
        if (purpose_ == Purpose::Command) {
            if (!mixCommandModel(ps) && ps_set_lm_file(ps, "_default", lm.constData()) == 0)
                ps_set_search(ps, "_default");
            grammarReady_ = addHeadGrammar(ps);
        }
        return ps;
    }

    // The general model with a dictionary of its most common words.
    static bool useCommonWords(ps_decoder_t* ps)
    {
        ngram_model_t* general = readGeneralModel(ps);
        if (!general)
            return false;
        const QByteArray words = commonWordsDictionary(general);
        QTemporaryFile file;
        const bool ok = !words.isEmpty() && writeTemporary(file, words)
            && ps_load_dict(ps, QFile::encodeName(file.fileName()).constData(), nullptr, nullptr) == 0
            && ps_set_lm(ps, "_default", general) == 0 && ps_set_search(ps, "_default") == 0;
        ngram_model_free(general);
        return ok;
    }

    // Interpolates the general model with the bigram model of command openings.
    static bool mixCommandModel(ps_decoder_t* ps)
    {
        ps_add_word(ps, "zelvan", "Z EH L V AH N", FALSE);
        ps_add_word(ps, "selvin", "S EH L V IH N", FALSE);
        QTemporaryFile file;
        if (!writeTemporary(file, commandModel()))
            return false;
        ngram_model_t* general = readGeneralModel(ps);
        if (!general)
            return false;
        const QByteArray path = QFile::encodeName(file.fileName());
        ngram_model_t* commands = ngram_model_read(ps_get_config(ps), path.constData(), NGRAM_ARPA, ps_get_logmath(ps));
        if (!commands) {
            ngram_model_free(general);
            return false;
        }
        ngram_model_t* models[2] = {general, commands};
        const char* names[2] = {"general", "commands"};
        float32 weights[2] = {1.0f - commandWeight, commandWeight};
        ngram_model_t* mix = ngram_model_set_init(ps_get_config(ps), models, const_cast<char**>(names), weights, 2);
        // The mix holds models of its own: without these frees the general model
        // (30 MB) would outlive the decoder.
        ngram_model_free(general);
        ngram_model_free(commands);
        if (!mix)
            return false;
        const bool ok = ps_set_lm(ps, "commands", mix) == 0 && ps_set_search(ps, "commands") == 0;
        ngram_model_free(mix);
        return ok;
    }

    // The grammar search that finds a command's head. Its words are penalised
    // heavily, so that the phone loop does not win by splitting sound finely.
    static bool addHeadGrammar(ps_decoder_t* ps)
    {
        for (const char* phone : phones) {
            const QByteArray word = "ph_" + QByteArray(phone).toLower();
            ps_add_word(ps, word.constData(), phone, FALSE);
        }
        cmd_ln_t* config = ps_get_config(ps);
        const double wip = cmd_ln_float32_r(config, "-wip");
        cmd_ln_set_float32_r(config, "-wip", 1e-5);
        const bool ok = ps_set_jsgf_string(ps, "heads", headGrammar().constData()) == 0;
        cmd_ln_set_float32_r(config, "-wip", wip);
        ps_set_search(ps, ps_get_lm(ps, "commands") ? "commands" : "_default");
        return ok;
    }

    // The command as the general model heard it, with its head as the grammar
    // heard it: the grammar tells "note" from "no to", the model the rest.
    QString withHead(ps_decoder_t* ps, const std::vector<std::int16_t>& audio, const QString& heard)
    {
        const std::vector<Word> words = segments(ps);
        const char* const previous = ps_get_search(ps);
        const QByteArray back = previous ? QByteArray(previous) : QByteArray("_default");
        if (audio.empty() || ps_set_search(ps, "heads") < 0)
            return heard;
        std::vector<Word> head;
        if (ps_start_utt(ps) == 0) {
            ps_process_raw(ps, audio.data(), audio.size(), FALSE, TRUE);
            ps_end_utt(ps);
            head = segments(ps);
        }
        ps_set_search(ps, back.constData());
        const QSet<QString>& leads = leadWords();
        const bool found =
            std::any_of(head.begin(), head.end(), [&](const Word& w) { return !leads.contains(w.text); });
        if (!found || outvoted(head, words))
            return sure(heard, words) ? heard : withoutHead(heard);
        if (!isCommand(heard) && !fits(head))
            return heard;
        QStringList said;
        for (const Word& w : head)
            said << w.text;
        // Written as the intent parser knows the head ("add to-do", not "add to do").
        QStringList text{said.join(QLatin1Char(' ')).replace(QStringLiteral("to do"), QStringLiteral("to-do"))};
        const int headEnd = head.back().end;
        for (const Word& w : words)
            if (w.start >= headEnd - 2)
                text << w.text;
        return text.join(QLatin1Char(' '));
    }

    // How many words, leads included, the command's head at the start of `text`
    // takes; 0 when it begins with none.
    static qsizetype headWords(const QStringList& text)
    {
        qsizetype lead = 0;
        while (lead < text.size() && leadWords().contains(text[lead]))
            ++lead;
        qsizetype longest = 0;
        for (const char* head : commandHeads) {
            const QStringList words = QString::fromLatin1(head).split(QLatin1Char(' '));
            if (text.mid(lead, words.size()) == words)
                longest = std::max(longest, lead + words.size());
        }
        return longest;
    }

    static bool isCommand(const QString& text)
    {
        return headWords(text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) > 0;
    }

    // The text without the heads it begins with: what was heard, as no command.
    static QString withoutHead(const QString& text)
    {
        QStringList words = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        while (const qsizetype n = headWords(words))
            words = words.mid(n);
        return words.join(QLatin1Char(' '));
    }

    // Whether a head the mix heard is one it was sure enough of.
    static bool sure(const QString& heard, const std::vector<Word>& words)
    {
        if (!isCommand(heard))
            return true;
        const auto first = std::find_if(words.begin(), words.end(),
                                        [](const Word& w) { return !leadWords().contains(w.text); });
        return first != words.end() && first->posterior >= mixSure;
    }

    // Whether the sound where the grammar put the head fits the head well enough.
    static bool fits(const std::vector<Word>& head)
    {
        int acoustic = 0;
        int from = -1;
        for (const Word& w : head) {
            if (leadWords().contains(w.text))
                continue;
            if (from < 0)
                from = w.start;
            acoustic += w.acoustic;
        }
        return from >= 0 && double(acoustic) / (head.back().end - from + 1) >= headFit;
    }

    // Whether the general model heard, with confidence, some other word over most of
    // the stretch where the grammar put the head ("she" where the grammar heard "card").
    static bool outvoted(const std::vector<Word>& head, const std::vector<Word>& words)
    {
        const QSet<QString>& leads = leadWords();
        QSet<QString> said;
        int from = -1;
        for (const Word& w : head) {
            if (leads.contains(w.text))
                continue;
            if (from < 0)
                from = w.start;
            said.insert(w.text);
        }
        // The same head in other spellings.
        if (said.contains(QStringLiteral("todo")))
            said << QStringLiteral("to") << QStringLiteral("do");
        if (said.contains(QStringLiteral("do")))
            said << QStringLiteral("todo");
        if (said.contains(QStringLiteral("screenshot")))
            said << QStringLiteral("screen") << QStringLiteral("shot");
        if (said.contains(QStringLiteral("shot")))
            said << QStringLiteral("screenshot");
        const int to = head.back().end;
        return std::any_of(words.begin(), words.end(), [&](const Word& w) {
            const int overlap = std::min(w.end, to) - std::max(w.start, from);
            return overlap * 2 > w.end - w.start + 1 && w.posterior >= sureWord && !said.contains(w.text)
                && !leads.contains(w.text);
        });
    }

    QString name() const
    {
        return purpose_ == Purpose::Command ? QStringLiteral("command") : QStringLiteral("dictation");
    }

    // The models go back to the system: the decoder's memory is freed and the
    // heap's free pages returned, else the process would keep them.
    void release(ps_decoder_t* ps)
    {
        {
            const std::lock_guard<std::mutex> turn(setupLock());
            ps_free(ps);
        }
        Memory::giveBack();
        engine_->loaded = false;
        SystemLog::write(QStringLiteral("speech: %1 models freed").arg(name()));
    }

    void run()
    {
        QString loadError;
        ps_decoder_t* ps = nullptr;
        bool inUtterance = false;
        QString last;
        std::vector<std::int16_t> utterance; // commands only: the grammar pass reads it again
        for (;;) {
            if (!ps) {
                {
                    std::unique_lock lock(engine_->mutex);
                    engine_->wake.wait(lock, [this] { return engine_->quit || !engine_->queue.empty(); });
                    if (engine_->quit)
                        break;
                }
                ps = load(&loadError);
                if (ps) {
                    engine_->loaded = true;
                    SystemLog::write(QStringLiteral("speech: %1 models loaded").arg(name()));
                } else {
                    std::shared_ptr<PsTask> task;
                    bool cancelled = false;
                    {
                        std::lock_guard lock(engine_->mutex);
                        if (engine_->queue.empty())
                            continue;
                        task = engine_->queue.front();
                        engine_->queue.pop_front();
                        cancelled = task->cancelled;
                    }
                    if (!cancelled)
                        task->handler({.error = loadError});
                    continue;
                }
            }
            std::shared_ptr<PsTask> task;
            std::vector<std::int16_t> audio;
            bool ended = false;
            bool cancelled = false;
            bool asked = false;
            {
                std::unique_lock lock(engine_->mutex);
                const auto due = [this] {
                    if (engine_->quit)
                        return true;
                    if (engine_->queue.empty())
                        return false;
                    const auto& t = engine_->queue.front();
                    return t->cancelled || t->ended || t->asked || !t->pending.empty();
                };
                // Models nobody has used for a while are freed; the next task loads them again.
                if (!inUtterance && engine_->queue.empty()) {
                    if (!engine_->wake.wait_for(lock, keep_, due)) {
                        lock.unlock();
                        release(ps);
                        ps = nullptr;
                        continue;
                    }
                } else {
                    engine_->wake.wait(lock, due);
                }
                if (engine_->quit)
                    break;
                task = engine_->queue.front();
                audio.swap(task->pending);
                ended = task->ended;
                cancelled = task->cancelled;
                asked = std::exchange(task->asked, false);
                if (cancelled || ended)
                    engine_->queue.pop_front();
            }
            if (cancelled) {
                if (inUtterance)
                    ps_end_utt(ps);
                inUtterance = false;
                continue;
            }
            if (!inUtterance) {
                if (ps_start_utt(ps) < 0) {
                    if (!ended) {
                        std::lock_guard lock(engine_->mutex);
                        engine_->queue.pop_front();
                    }
                    task->handler({.error = QStringLiteral("the speech decoder could not start")});
                    continue;
                }
                inUtterance = true;
                last.clear();
                utterance.clear();
            }
            if (!audio.empty()) {
                ps_process_raw(ps, audio.data(), audio.size(), FALSE, FALSE);
                if (grammarReady_)
                    utterance.insert(utterance.end(), audio.begin(), audio.end());
            }
            // Dictation's text is asked for by its owner now and then; a command's
            // shows as it is spoken.
            if (!ended && (asked || (purpose_ == Purpose::Command && !audio.empty()))) {
                const QString now = hypothesis(ps);
                if (now != last) {
                    last = now;
                    task->handler({.text = now});
                }
            }
            if (ended) {
                ps_end_utt(ps);
                inUtterance = false;
                QString text = hypothesis(ps);
                if (grammarReady_)
                    text = withHead(ps, utterance, text);
                task->handler({.text = text, .isFinal = true});
            }
        }
        if (ps) {
            if (inUtterance)
                ps_end_utt(ps);
            release(ps);
        }
    }

    static QString hypothesis(ps_decoder_t* ps)
    {
        int32 score = 0;
        const char* hyp = ps_get_hyp(ps, &score);
        return hyp ? QString::fromUtf8(hyp).simplified() : QString();
    }

    const Purpose purpose_;
    const std::chrono::milliseconds keep_;
    bool grammarReady_ = false; // worker only
    std::shared_ptr<Engine> engine_;
    std::thread worker_;
};

} // namespace

bool SpeechRecognizer::installed()
{
    return QFile::exists(acousticModel + QStringLiteral("/mdef")) && QFile::exists(languageModel)
        && QFile::exists(dictionary);
}

std::unique_ptr<SpeechRecognizer> SpeechRecognizer::create(Purpose purpose, double keepSeconds)
{
    return std::make_unique<PocketSphinx>(purpose, keepSeconds);
}
