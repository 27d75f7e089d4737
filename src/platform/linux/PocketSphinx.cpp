#include "platform/SpeechRecognizer.h"

#include <QFile>
#include <QTemporaryFile>
#include <QTextStream>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <pocketsphinx.h>
#include <sphinxbase/ngram_model.h>
#include <thread>

namespace {

const QString modelDir = QStringLiteral("/usr/share/pocketsphinx/model/en-us/");
const QString acousticModel = modelDir + QStringLiteral("en-us");
const QString languageModel = modelDir + QStringLiteral("en-us.lm.bin");
const QString dictionary = modelDir + QStringLiteral("cmudict-en-us.dict");

// How commands begin; the decoder leans towards these at the start of an utterance.
const char* const commandHeads[] = {
    "take a screenshot", "screenshot", "screen shot", "save this", "pin this", "capture this",
    "make a note", "add a note", "take a note", "note that", "note",
    "add a card", "new card", "make a card", "create a card", "card",
    "add a to do", "add a todo", "add to do", "to do", "todo",
};
const char* const commandLeads[] = {"", "okay", "ok", "please", "so", "um", "uh", "hey zelvan", "zelvan"};
// Share of the command model in the mix with the general one; measured on bench/voice.
constexpr float commandWeight = 0.3f;

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
        : engine_(std::move(engine)), handler(std::move(handler))
    {
    }
    void append(const std::int16_t* samples, std::size_t count) override;
    void endAudio() override;
    void cancel() override;

    std::shared_ptr<Engine> engine_;
    const SpeechRecognizer::Handler handler;
    // Guarded by the engine's mutex.
    std::vector<std::int16_t> pending;
    bool ended = false;
    bool cancelled = false;
};

// The decoder's worker and its queue of tasks, shared with the tasks so that a
// task outliving its recogniser stays harmless.
struct Engine {
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<std::shared_ptr<PsTask>> queue;
    bool quit = false;

    void notify()
    {
        wake.notify_one();
    }
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
    explicit PocketSphinx(Purpose purpose)
        : purpose_(purpose), engine_(std::make_shared<Engine>())
    {
        // Loading takes a second or so: it happens on the worker, not the caller's thread.
        worker_ = std::thread([this] { run(); });
    }

    ~PocketSphinx() override
    {
        {
            std::lock_guard lock(engine_->mutex);
            engine_->quit = true;
        }
        engine_->notify();
        worker_.join();
    }

    bool available() const override { return installed(); }
    QString locale() const override { return QStringLiteral("en-US"); }
    bool onDevice() const override { return true; }

    std::shared_ptr<SpeechTask> recognize(Handler handler) override
    {
        auto task = std::make_shared<PsTask>(engine_, std::move(handler));
        {
            std::lock_guard lock(engine_->mutex);
            if (!engine_->quit)
                engine_->queue.push_back(task);
        }
        engine_->notify();
        return task;
    }

private:
    ps_decoder_t* load(QString* error)
    {
        if (!available()) {
            *error = QStringLiteral("the speech models are not installed");
            return nullptr;
        }
        const QByteArray hmm = QFile::encodeName(acousticModel);
        const QByteArray lm = QFile::encodeName(languageModel);
        const QByteArray dict = QFile::encodeName(dictionary);
        cmd_ln_t* config = nullptr;
        if (purpose_ == Purpose::Dictation) {
            // Narrow beams, no second pass: cheap enough to run beside a recording.
            config = cmd_ln_init(nullptr, ps_args(), TRUE, "-hmm", hmm.constData(), "-lm", lm.constData(), "-dict",
                                 dict.constData(), "-logfn", "/dev/null", "-beam", "1e-40", "-wbeam", "1e-30",
                                 "-maxhmmpf", "3000", "-maxwpf", "10", "-topn", "2", "-fwdflat", "no", "-bestpath",
                                 "no", nullptr);
        } else {
            config = cmd_ln_init(nullptr, ps_args(), TRUE, "-hmm", hmm.constData(), "-lm", lm.constData(), "-dict",
                                 dict.constData(), "-logfn", "/dev/null", nullptr);
        }
        ps_decoder_t* ps = config ? ps_init(config) : nullptr;
        if (config)
            cmd_ln_free_r(config);
        if (!ps) {
            *error = QStringLiteral("the speech models could not be loaded");
            return nullptr;
        }
        // Without the mix the general model alone still recognises commands.
        if (purpose_ == Purpose::Command)
            mixCommandModel(ps);
        return ps;
    }

    // Interpolates the general model with the bigram model of command openings.
    static bool mixCommandModel(ps_decoder_t* ps)
    {
        ps_add_word(ps, "zelvan", "Z EH L V AH N", FALSE);
        QTemporaryFile file;
        if (!file.open() || file.write(commandModel()) < 0 || !file.flush())
            return false;
        ngram_model_t* general = ps_get_lm(ps, "_default");
        if (!general)
            return false;
        const QByteArray path = QFile::encodeName(file.fileName());
        ngram_model_t* commands = ngram_model_read(ps_get_config(ps), path.constData(), NGRAM_ARPA, ps_get_logmath(ps));
        if (!commands)
            return false;
        ngram_model_retain(general);
        ngram_model_t* models[2] = {general, commands};
        const char* names[2] = {"general", "commands"};
        float32 weights[2] = {1.0f - commandWeight, commandWeight};
        ngram_model_t* mix = ngram_model_set_init(ps_get_config(ps), models, const_cast<char**>(names), weights, 2);
        if (!mix)
            return false;
        const bool ok = ps_set_lm(ps, "commands", mix) == 0 && ps_set_search(ps, "commands") == 0;
        ngram_model_free(mix);
        return ok;
    }

    void run()
    {
        QString loadError;
        ps_decoder_t* ps = load(&loadError);
        bool inUtterance = false;
        QString last;
        for (;;) {
            std::shared_ptr<PsTask> task;
            std::vector<std::int16_t> audio;
            bool ended = false;
            bool cancelled = false;
            {
                std::unique_lock lock(engine_->mutex);
                engine_->wake.wait(lock, [this] {
                    if (engine_->quit)
                        return true;
                    if (engine_->queue.empty())
                        return false;
                    const auto& t = engine_->queue.front();
                    return t->cancelled || t->ended || !t->pending.empty();
                });
                if (engine_->quit)
                    break;
                task = engine_->queue.front();
                audio.swap(task->pending);
                ended = task->ended;
                cancelled = task->cancelled;
                if (cancelled || ended || !ps)
                    engine_->queue.pop_front();
            }
            if (!ps) {
                if (!cancelled)
                    task->handler({.error = loadError});
                continue;
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
            }
            if (!audio.empty()) {
                ps_process_raw(ps, audio.data(), audio.size(), FALSE, FALSE);
                const QString now = hypothesis(ps);
                if (now != last && !ended) {
                    last = now;
                    task->handler({.text = now});
                }
            }
            if (ended) {
                ps_end_utt(ps);
                inUtterance = false;
                task->handler({.text = hypothesis(ps), .isFinal = true});
            }
        }
        if (ps) {
            if (inUtterance)
                ps_end_utt(ps);
            ps_free(ps);
        }
    }

    static QString hypothesis(ps_decoder_t* ps)
    {
        int32 score = 0;
        const char* hyp = ps_get_hyp(ps, &score);
        return hyp ? QString::fromUtf8(hyp).simplified() : QString();
    }

    const Purpose purpose_;
    std::shared_ptr<Engine> engine_;
    std::thread worker_;
};

} // namespace

bool SpeechRecognizer::installed()
{
    return QFile::exists(acousticModel + QStringLiteral("/mdef")) && QFile::exists(languageModel)
           && QFile::exists(dictionary);
}

std::unique_ptr<SpeechRecognizer> SpeechRecognizer::create(Purpose purpose)
{
    return std::make_unique<PocketSphinx>(purpose);
}
