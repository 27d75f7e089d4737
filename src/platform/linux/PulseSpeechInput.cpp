#include "platform/CaptureError.h"
#include "platform/SpeechInput.h"
#include "platform/SpeechRecognizer.h"
#include "platform/linux/PulseTag.h"

#include <mutex>
#include <pulse/pulseaudio.h>

namespace {

// A record stream of its own on a threaded main loop. The server converts the
// device's sound to what the recogniser takes, so nothing is resampled here.
class PulseSpeechInput final : public SpeechInput {
public:
    ~PulseSpeechInput() override { stop(); }

    bool hasDevice() override
    {
        std::lock_guard api(api_);
        QString error;
        if (!open(&error))
            return false;
        pa_threaded_mainloop_lock(loop_);
        const bool found = !defaultSource().isEmpty();
        pa_threaded_mainloop_unlock(loop_);
        close();
        return found;
    }

    void start(Handler handler) override
    {
        std::lock_guard api(api_);
        close();
        QString error;
        if (!open(&error))
            throw CaptureError(QStringLiteral("cannot reach the sound server: ") + error);
        pa_threaded_mainloop_lock(loop_);
        handler_ = std::move(handler);
        const pa_sample_spec spec{PA_SAMPLE_S16LE, uint32_t(SpeechRecognizer::sampleRate), 1};
        stream_ = pa_stream_new(context_, "voice command", &spec, nullptr);
        if (!stream_) {
            error = pa_strerror(pa_context_errno(context_));
        } else {
            pa_stream_set_state_callback(
                stream_,
                [](pa_stream*, void* self) {
                    pa_threaded_mainloop_signal(static_cast<PulseSpeechInput*>(self)->loop_, 0);
                },
                this);
            pa_stream_set_read_callback(
                stream_, [](pa_stream*, size_t, void* self) { static_cast<PulseSpeechInput*>(self)->read(); }, this);
            pa_buffer_attr attr{};
            attr.maxlength = attr.tlength = attr.prebuf = attr.minreq = uint32_t(-1);
            attr.fragsize = bufferFrames * sizeof(std::int16_t);
            if (pa_stream_connect_record(stream_, nullptr, &attr, PA_STREAM_ADJUST_LATENCY) < 0) {
                error = pa_strerror(pa_context_errno(context_));
            } else {
                for (;;) {
                    const pa_stream_state_t state = pa_stream_get_state(stream_);
                    if (state == PA_STREAM_READY)
                        break;
                    if (!PA_STREAM_IS_GOOD(state)) {
                        error = pa_strerror(pa_context_errno(context_));
                        break;
                    }
                    pa_threaded_mainloop_wait(loop_);
                }
            }
        }
        pa_threaded_mainloop_unlock(loop_);
        if (!error.isEmpty()) {
            close();
            throw CaptureError(QStringLiteral("cannot record from the microphone: ") + error);
        }
    }

    void stop() override
    {
        std::lock_guard api(api_);
        close();
    }

private:
    // With the main loop's lock held.
    QString defaultSource()
    {
        struct Answer {
            pa_threaded_mainloop* loop;
            QString source;
        } answer{loop_, {}};
        pa_operation* op = pa_context_get_server_info(
            context_,
            [](pa_context*, const pa_server_info* info, void* a) {
                auto* answer = static_cast<Answer*>(a);
                if (info && info->default_source_name)
                    answer->source = QString::fromUtf8(info->default_source_name);
                pa_threaded_mainloop_signal(answer->loop, 0);
            },
            &answer);
        if (!op)
            return {};
        while (pa_operation_get_state(op) == PA_OPERATION_RUNNING)
            pa_threaded_mainloop_wait(loop_);
        pa_operation_unref(op);
        return answer.source;
    }

    bool open(QString* error)
    {
        loop_ = pa_threaded_mainloop_new();
        if (!loop_ || pa_threaded_mainloop_start(loop_) < 0) {
            *error = QStringLiteral("cannot start the sound main loop");
            close();
            return false;
        }
        pa_threaded_mainloop_lock(loop_);
        // Our own streams carry our id, so the call detector does not count them as a call.
        const PulseTag tag;
        context_ = pa_context_new_with_proplist(pa_threaded_mainloop_get_api(loop_), "Zelvan", tag.get());
        if (context_) {
            pa_context_set_state_callback(
                context_,
                [](pa_context*, void* self) {
                    pa_threaded_mainloop_signal(static_cast<PulseSpeechInput*>(self)->loop_, 0);
                },
                this);
        }
        if (!context_ || pa_context_connect(context_, nullptr, PA_CONTEXT_NOFLAGS, nullptr) < 0) {
            *error = context_ ? QString::fromUtf8(pa_strerror(pa_context_errno(context_)))
                              : QStringLiteral("out of memory");
        } else {
            for (;;) {
                const pa_context_state_t state = pa_context_get_state(context_);
                if (state == PA_CONTEXT_READY)
                    break;
                if (!PA_CONTEXT_IS_GOOD(state)) {
                    *error = QString::fromUtf8(pa_strerror(pa_context_errno(context_)));
                    break;
                }
                pa_threaded_mainloop_wait(loop_);
            }
        }
        pa_threaded_mainloop_unlock(loop_);
        if (!error->isEmpty()) {
            close();
            return false;
        }
        return true;
    }

    void close()
    {
        if (!loop_)
            return;
        pa_threaded_mainloop_lock(loop_);
        if (stream_) {
            pa_stream_set_state_callback(stream_, nullptr, nullptr);
            pa_stream_set_read_callback(stream_, nullptr, nullptr);
            pa_stream_disconnect(stream_);
            pa_stream_unref(stream_);
            stream_ = nullptr;
        }
        if (context_) {
            pa_context_set_state_callback(context_, nullptr, nullptr);
            pa_context_disconnect(context_);
            pa_context_unref(context_);
            context_ = nullptr;
        }
        pa_threaded_mainloop_unlock(loop_);
        pa_threaded_mainloop_stop(loop_);
        pa_threaded_mainloop_free(loop_);
        loop_ = nullptr;
        handler_ = {};
        buffer_.clear();
    }

    // On the main loop's thread: hands the sound on in whole buffers.
    void read()
    {
        while (stream_ && pa_stream_readable_size(stream_) > 0) {
            const void* data = nullptr;
            std::size_t bytes = 0;
            if (pa_stream_peek(stream_, &data, &bytes) < 0 || bytes == 0)
                break;
            if (data) {
                const auto* samples = static_cast<const std::int16_t*>(data);
                buffer_.insert(buffer_.end(), samples, samples + bytes / sizeof(std::int16_t));
            }
            pa_stream_drop(stream_);
        }
        std::size_t used = 0;
        while (buffer_.size() - used >= std::size_t(bufferFrames)) {
            if (handler_)
                handler_(buffer_.data() + used, bufferFrames);
            used += bufferFrames;
        }
        buffer_.erase(buffer_.begin(), buffer_.begin() + std::ptrdiff_t(used));
    }

    std::mutex api_;
    pa_threaded_mainloop* loop_ = nullptr;
    pa_context* context_ = nullptr;
    pa_stream* stream_ = nullptr;
    Handler handler_;
    std::vector<std::int16_t> buffer_;
};

} // namespace

std::unique_ptr<SpeechInput> SpeechInput::create()
{
    return std::make_unique<PulseSpeechInput>();
}
