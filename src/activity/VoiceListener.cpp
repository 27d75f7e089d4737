#include "activity/VoiceListener.h"

#include "core/Log.h"
#include "platform/Wording.h"
#include "session/AudioError.h"

#include <QTimer>
#include <utility>

namespace {

// The command models stay loaded this long after a command, for the next one;
// ZELVAN_COMMAND_MODELS_SECONDS changes it (tests).
double keepSeconds()
{
    bool ok = false;
    const double seconds = qEnvironmentVariable("ZELVAN_COMMAND_MODELS_SECONDS").toDouble(&ok);
    return ok && seconds >= 0 ? seconds : 300;
}

// The longest wait for the models to load before the deadline starts counting.
constexpr double loadSeconds = 30;

} // namespace

VoiceListener::VoiceListener()
    : VoiceListener(SpeechRecognizer::create(SpeechRecognizer::Purpose::Command, keepSeconds()), SpeechInput::create())
{
}

VoiceListener::VoiceListener(std::unique_ptr<SpeechRecognizer> recognizer, std::unique_ptr<SpeechInput> input)
    : recognizer_(std::move(recognizer))
    , input_(std::move(input))
{
}

VoiceListener::~VoiceListener()
{
    relay_.close();
    input_->stop();
    if (task_)
        task_->cancel();
}

void VoiceListener::authorize(const std::function<void(bool, const QString&)>& completion)
{
    // No permission to ask for here: what is needed is the models.
    if (!recognizer_->available()) {
        completion(false,
                   Wording::shown(QStringLiteral(
                       "Speech recognition is off (System Settings › Privacy & Security › Speech Recognition).")));
        return;
    }
    completion(true, QString());
}

void VoiceListener::start()
{
    if (listening_)
        return;
    if (done_)
        finish();
    if (!recognizer_->available())
        throw AudioError::format(QStringLiteral("Speech recognition is not available right now."));
    if (!input_->hasDevice())
        throw AudioError::format(QStringLiteral("No microphone input."));

    const quint64 generation = ++generation_;
    // The recogniser's thread holds the relay, never the listener.
    auto task = recognizer_->recognize([post = relay_.poster(), this, generation](const SpeechRecognizer::Result& result) {
        post([this, generation, result] { handle(generation, result); });
    });
    try {
        input_->start([task](const std::int16_t* samples, std::size_t count) { task->append(samples, count); });
    } catch (...) {
        // A failed start keeps nothing running.
        task->cancel();
        input_->stop();
        throw;
    }
    text_.clear();
    task_ = std::move(task);
    listening_ = true;
    slog(QStringLiteral("voice: listening (on-device: %1, %2)")
             .arg(recognizer_->onDevice() ? QStringLiteral("true") : QStringLiteral("false"), recognizer_->locale()));
}

void VoiceListener::stop(Completion completion)
{
    if (!listening_) {
        completion(text_);
        return;
    }
    listening_ = false;
    input_->stop();
    if (task_)
        task_->endAudio();
    // A command is never dropped: one still waiting gets its text first.
    if (Completion earlier = std::exchange(done_, {}))
        earlier(text_.trimmed());
    done_ = std::move(completion);
    awaitFinal(generation_, 0);
}

void VoiceListener::awaitFinal(quint64 generation, double loading)
{
    // A first command after a while waits for the models to load (its sound is
    // kept meanwhile): the deadline counts from when they are in.
    if (!recognizer_->loaded() && loading < loadSeconds) {
        QTimer::singleShot(250, &guard_, [this, generation, loading] {
            if (generation == generation_ && done_)
                awaitFinal(generation, loading + 0.25);
        });
        return;
    }
    QTimer::singleShot(int(finishSeconds * 1000), &guard_, [this, generation] {
        if (generation == generation_ && done_)
            finish();
    });
}

void VoiceListener::handle(quint64 generation, const SpeechRecognizer::Result& result)
{
    if (generation != generation_)
        return; // a late answer about an earlier command
    if (result.error.isEmpty()) {
        text_ = result.text;
        if (onPartial)
            onPartial(text_);
        if (result.isFinal && done_)
            finish();
        return;
    }
    if (done_)
        finish();
}

void VoiceListener::finish()
{
    Completion done = std::exchange(done_, {});
    if (task_)
        task_->cancel();
    task_.reset();
    if (done)
        done(text_.trimmed());
}
