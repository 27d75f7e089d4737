#include "activity/LiveHearing.h"

#include "activity/KeyPhrase.h"
#include "core/Clock.h"
#include "core/Log.h"

#include <QRegularExpression>
#include <QStringList>
#include <QThreadPool>
#include <cmath>
#include <exception>

namespace {

double now()
{
    return Clock::current().uptime();
}

// Sound kept from before speech starts, so that its first word is whole, and
// quiet decoded after it, so that pauses between words stay in.
constexpr double leadSeconds = 0.3;
constexpr double hangSeconds = 1.0;

float level(const CaptureBuffer& buffer)
{
    const std::int64_t frames = buffer.frames();
    if (frames <= 0 || buffer.channels <= 0)
        return 0;
    double sum = 0;
    for (std::int64_t i = 0; i < frames; ++i) {
        const float v = buffer.samples[std::size_t(i * buffer.channels)];
        sum += double(v) * v;
    }
    return float(std::sqrt(sum / double(frames)));
}

} // namespace

LiveHearing::LiveHearing()
    : LiveHearing(SpeechRecognizer::create(SpeechRecognizer::Purpose::Dictation, 0),
                  [](const QString& words) { return KeyPhrase::extract(words, 7); })
{
    // The parser's dictionary is wanted only while hearing runs.
    unload_ = [] { WordTagger::shared().release(); };
}

LiveHearing::LiveHearing(std::unique_ptr<SpeechRecognizer> recognizer, Extract extract)
    : recognizer_(std::move(recognizer))
    , extract_(std::move(extract))
    , changedAt_(now())
    , taskStarted_(now())
{
    timer_.setInterval(2000);
    timer_.callOnTimeout(&guard_, [this] { tick(); });
}

LiveHearing::~LiveHearing()
{
    relay_.close();
    stop();
}

bool LiveHearing::start()
{
    if (running_)
        return true;
    // No permission exists here; "authorised" means the models are installed.
    const bool installed = recognizer_ && recognizer_->available();
    if (!installed || !recognizer_->onDevice()) {
        const int status = installed ? 3 : 2;
        const bool onDevice = recognizer_ && recognizer_->onDevice();
        slog(QStringLiteral("hearing: off (speech %1, on-device %2)")
                 .arg(status)
                 .arg(onDevice ? QStringLiteral("true") : QStringLiteral("false")));
        return false;
    }
    running_ = true;
    {
        std::lock_guard lock(lock_);
        ear_ = std::make_shared<Ear>();
    }
    newTask();
    timer_.start();
    return true;
}

void LiveHearing::append(const CaptureBuffer& buffer)
{
    std::shared_ptr<SpeechTask> request;
    std::shared_ptr<Ear> ear;
    {
        // Only the references are taken under the lock; a stop() meanwhile leaves
        // this buffer going to a request that is already ended, which ignores it.
        std::lock_guard lock(lock_);
        request = request_;
        ear = ear_;
    }
    if (!request || !ear)
        return;
    std::vector<std::int16_t>& lead = ear->lead;
    double& quiet = ear->quiet;
    std::vector<std::int16_t> samples;
    try {
        samples = ear->resampler.convert(buffer.samples.data(), buffer.frames(), buffer.sampleRate, buffer.channels);
    } catch (const std::exception&) {
        // A format that cannot be converted is not heard.
        return;
    }
    // Only what may be speech is decoded: the decoder costs as much on silence.
    // Nor is speech that no phrase could come from.
    const bool loud = level(buffer) >= speechLevel;
    quiet = loud ? 0 : quiet + buffer.seconds();
    const bool resting = now() < restUntil_;
    if (resting)
        quiet = 1e9; // the first words after the rest come with their lead
    if (resting || (!loud && quiet > hangSeconds)) {
        lead.insert(lead.end(), samples.begin(), samples.end());
        const auto keep = std::size_t(leadSeconds * SpeechRecognizer::sampleRate);
        if (lead.size() > keep)
            lead.erase(lead.begin(), lead.end() - std::ptrdiff_t(keep));
        return;
    }
    if (!lead.empty()) {
        request->append(lead.data(), lead.size());
        lead.clear();
    }
    request->append(samples.data(), samples.size());
}

void LiveHearing::stop()
{
    if (running_ && unload_)
        QThreadPool::globalInstance()->start(unload_);
    running_ = false;
    timer_.stop();
    std::shared_ptr<SpeechTask> request;
    std::shared_ptr<Ear> ear;
    {
        std::lock_guard lock(lock_);
        request = std::exchange(request_, nullptr);
        ear = std::exchange(ear_, nullptr);
    }
    if (request)
        request->cancel();
    ear.reset(); // outside the lock: freeing it may unload libraries
    ++taskId_;
    ++run_;
    text_.clear();
    consumed_ = 0;
}

void LiveHearing::newTask()
{
    if (!running_ || !recognizer_)
        return;
    const quint64 id = ++taskId_;
    // The recogniser's thread holds the relay, never this object.
    auto task = recognizer_->recognize([post = relay_.poster(), this, id](const SpeechRecognizer::Result& result) {
        post([this, id, result] { handle(id, result); });
    });
    std::shared_ptr<SpeechTask> old;
    {
        std::lock_guard lock(lock_);
        old = std::exchange(request_, task);
    }
    // Its final words were harvested already; what it still reports is dropped.
    if (old)
        old->cancel();
    text_.clear();
    consumed_ = 0;
    taskStarted_ = now();
}

void LiveHearing::handle(quint64 task, const SpeechRecognizer::Result& result)
{
    // Only the current task's results count; the replaced one's final answer
    // would otherwise harvest its words again and replace the task once more.
    if (!running_ || task != taskId_)
        return;
    if (result.error.isEmpty() && result.text != text_) {
        text_ = result.text;
        changedAt_ = now();
    }
    if (result.error.isEmpty() && !result.isFinal)
        return;
    harvest(true);
    if (running_)
        newTask();
}

void LiveHearing::tick()
{
    if (!running_)
        return;
    const double t = now();
    if (t - taskStarted_ > 50.0) {
        harvest(true);
        newTask();
    } else if (t - changedAt_ > 1.5) {
        harvest(false);
    }
    // The decoder works out its text only when asked: once per tick is enough.
    std::shared_ptr<SpeechTask> request;
    {
        std::lock_guard lock(lock_);
        request = request_;
    }
    if (request)
        request->askText();
}

void LiveHearing::harvest(bool force)
{
    const QStringList words = text_.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
    if (consumed_ >= words.size())
        return;
    const QString fresh = words.mid(consumed_).join(QLatin1Char(' '));
    if (!force && words.size() - consumed_ < 4)
        return;
    consumed_ = words.size();
    // While a phrase is being picked, new words are used up as within the gap.
    if (now() - lastEmit_ < minGap || extracting_)
        return;
    // Picking a phrase parses the words (and loads the parser's dictionary the
    // first time): seconds at worst, so not on the main thread.
    extracting_ = true;
    QThreadPool::globalInstance()->start([extract = extract_, fresh, post = relay_.poster(), this, run = run_] {
        std::optional<QString> phrase;
        try {
            phrase = extract(fresh);
        } catch (const std::exception&) {
        }
        post([this, run, phrase] { deliver(run, phrase); });
    });
}

void LiveHearing::deliver(quint64 run, const std::optional<QString>& phrase)
{
    extracting_ = false;
    // Words heard before a stop are never delivered.
    if (run != run_ || !running_ || !phrase)
        return;
    lastEmit_ = now();
    restUntil_ = lastEmit_ + minGap - resumeBefore;
    if (onPhrase)
        onPhrase(*phrase);
}
