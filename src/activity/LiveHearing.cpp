#include "activity/LiveHearing.h"

#include "activity/KeyPhrase.h"
#include "core/Clock.h"
#include "core/Log.h"

#include <QRegularExpression>
#include <QStringList>
#include <exception>

namespace {

double now()
{
    return Clock::current().uptime();
}

} // namespace

LiveHearing::LiveHearing()
    : LiveHearing(SpeechRecognizer::create(SpeechRecognizer::Purpose::Dictation),
                  [](const QString& words) { return KeyPhrase::extract(words, 7); })
{
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
    newTask();
    timer_.start();
    return true;
}

void LiveHearing::append(const CaptureBuffer& buffer)
{
    std::shared_ptr<SpeechTask> request;
    {
        // Only the reference is taken under the lock; a stop() meanwhile leaves
        // this buffer going to a request that is already ended, which ignores it.
        std::lock_guard lock(lock_);
        request = request_;
    }
    if (!request)
        return;
    try {
        const auto samples = resampler_.convert(buffer.samples.data(), buffer.frames(), buffer.sampleRate,
                                                buffer.channels);
        request->append(samples.data(), samples.size());
    } catch (const std::exception&) {
        // A format that cannot be converted is not heard.
    }
}

void LiveHearing::stop()
{
    running_ = false;
    timer_.stop();
    std::shared_ptr<SpeechTask> request;
    {
        std::lock_guard lock(lock_);
        request = std::exchange(request_, nullptr);
    }
    if (request)
        request->cancel();
    ++taskId_;
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
    if (now() - lastEmit_ < minGap)
        return;
    const std::optional<QString> phrase = extract_(fresh);
    if (!phrase)
        return;
    lastEmit_ = now();
    if (onPhrase)
        onPhrase(*phrase);
}
