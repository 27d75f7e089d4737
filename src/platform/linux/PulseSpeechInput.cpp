#include "platform/CaptureError.h"
#include "platform/SpeechInput.h"
#include "platform/SpeechRecognizer.h"
#include "platform/linux/PulseTag.h"
#include "platform/linux/PulseWait.h"

#include <functional>
#include <mutex>
#include <optional>
#include <pulse/pulseaudio.h>
#include <pulse/rtclock.h>

namespace {

// A sound server that has not answered by then is taken as absent, so that a
// voice key never hangs the main thread on it (the microphone probe's rule).
constexpr pa_usec_t connectTimeout = 250 * PA_USEC_PER_MSEC;
// Our record stream on a server that did answer.
constexpr pa_usec_t streamTimeout = 1000 * PA_USEC_PER_MSEC;

// A record stream of its own on a threaded main loop. The server converts the
// device's sound to what the recogniser takes, so nothing is resampled here.
class PulseSpeechInput final : public SpeechInput {
public:
    ~PulseSpeechInput() override { stop(); }

    bool hasDevice() override
    {
        std::lock_guard api(api_);
        QString error;
        const pa_usec_t deadline = pa_rtclock_now() + connectTimeout;
        if (!open(deadline, &error))
            return false;
        pa_threaded_mainloop_lock(loop_);
        const bool found = inputSource(deadline).has_value();
        pa_threaded_mainloop_unlock(loop_);
        close();
        return found;
    }

    void start(Handler handler) override
    {
        std::lock_guard api(api_);
        close();
        QString error;
        const pa_usec_t deadline = pa_rtclock_now() + connectTimeout;
        if (!open(deadline, &error))
            throw CaptureError(QStringLiteral("cannot reach the sound server: ") + error);
        pa_threaded_mainloop_lock(loop_);
        handler_ = std::move(handler);
        const pa_sample_spec spec{PA_SAMPLE_S16LE, uint32_t(SpeechRecognizer::sampleRate), 1};
        // The default source, unless that is a monitor of an output: commands
        // are never taken from what the speakers play.
        const std::optional<QByteArray> source = inputSource(deadline);
        if (!source) {
            error = QStringLiteral("no microphone");
        } else if (stream_ = pa_stream_new(context_, "voice command", &spec, nullptr); !stream_) {
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
            if (pa_stream_connect_record(stream_, source->constData(), &attr, PA_STREAM_ADJUST_LATENCY) < 0) {
                error = pa_strerror(pa_context_errno(context_));
            } else {
                const bool settled = waitUntil(pa_rtclock_now() + streamTimeout, [this] {
                    const pa_stream_state_t state = pa_stream_get_state(stream_);
                    return state == PA_STREAM_READY || !PA_STREAM_IS_GOOD(state);
                });
                if (!settled)
                    error = QStringLiteral("the sound server did not answer");
                else if (pa_stream_get_state(stream_) != PA_STREAM_READY)
                    error = pa_strerror(pa_context_errno(context_));
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
    // With the main loop's lock held: the default source's name, when it is an
    // input device and not the monitor of an output.
    std::optional<QByteArray> inputSource(pa_usec_t deadline)
    {
        struct Answer {
            pa_threaded_mainloop* loop;
            bool done = false;
            QByteArray name;
            bool monitor = false;
        };
        Answer server{loop_};
        pa_operation* op = pa_context_get_server_info(
            context_,
            [](pa_context*, const pa_server_info* info, void* a) {
                auto* answer = static_cast<Answer*>(a);
                if (info && info->default_source_name)
                    answer->name = info->default_source_name;
                answer->done = true;
                pa_threaded_mainloop_signal(answer->loop, 0);
            },
            &server);
        if (!answered(op, deadline, server.done) || server.name.isEmpty())
            return std::nullopt;
        Answer source{loop_};
        op = pa_context_get_source_info_by_name(
            context_, server.name.constData(),
            [](pa_context*, const pa_source_info* info, int eol, void* a) {
                auto* answer = static_cast<Answer*>(a);
                if (info) {
                    answer->name = info->name;
                    answer->monitor = info->monitor_of_sink != PA_INVALID_INDEX;
                }
                if (eol) {
                    answer->done = true;
                    pa_threaded_mainloop_signal(answer->loop, 0);
                }
            },
            &source);
        if (!answered(op, deadline, source.done) || source.name.isEmpty() || source.monitor)
            return std::nullopt;
        return source.name;
    }

    // Waits for an operation's answer until the deadline; a late answer is
    // cancelled so that it cannot reach what the caller has left.
    bool answered(pa_operation* op, pa_usec_t deadline, const bool& done)
    {
        if (!op)
            return false;
        const bool ok = waitUntil(deadline, [&] { return done; });
        if (pa_operation_get_state(op) == PA_OPERATION_RUNNING)
            pa_operation_cancel(op);
        pa_operation_unref(op);
        return ok;
    }

    bool waitUntil(pa_usec_t deadline, const std::function<bool()>& done)
    {
        return PulseWait::until(loop_, context_, deadline, done);
    }

    bool open(pa_usec_t deadline, QString* error)
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
        // A voice command never starts a sound server of its own.
        if (!context_ || pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
            *error = context_ ? QString::fromUtf8(pa_strerror(pa_context_errno(context_)))
                              : QStringLiteral("out of memory");
        } else if (!waitUntil(deadline, [this] { return pa_context_get_state(context_) == PA_CONTEXT_READY; })) {
            *error = PA_CONTEXT_IS_GOOD(pa_context_get_state(context_))
                ? QStringLiteral("it did not answer")
                : QString::fromUtf8(pa_strerror(pa_context_errno(context_)));
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
