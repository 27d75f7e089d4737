#include "platform/linux/PulseSource.h"

#include "platform/CaptureError.h"
#include "platform/MediaClock.h"
#include "platform/linux/PulseTag.h"

#include <algorithm>
#include <stdexcept>

namespace {

PulseSource* self(void* userdata)
{
    return static_cast<PulseSource*>(userdata);
}

QString errorText(pa_context* context)
{
    return QString::fromUtf8(pa_strerror(pa_context_errno(context)));
}

// Waits, with the main loop's lock held, until a context or stream is ready; the
// server's error when it failed instead.
template <class State, class Get, class Good>
QString awaitReady(pa_threaded_mainloop* loop, pa_context* context, Get state, State ready, Good good)
{
    for (;;) {
        const State now = state();
        if (now == ready)
            return {};
        if (!good(now))
            return errorText(context);
        pa_threaded_mainloop_wait(loop);
    }
}

// Answers of the introspection calls, filled on the main loop's thread.
struct Query {
    pa_threaded_mainloop* loop;
    QString defaultSink;
    QString defaultSource;
    QString monitor;
    int rate = 0;
    int channels = 0;
};

void serverInfo(pa_context*, const pa_server_info* info, void* userdata)
{
    auto* q = static_cast<Query*>(userdata);
    if (info) {
        q->defaultSink = QString::fromUtf8(info->default_sink_name ? info->default_sink_name : "");
        q->defaultSource = QString::fromUtf8(info->default_source_name ? info->default_source_name : "");
    }
    pa_threaded_mainloop_signal(q->loop, 0);
}

void sinkInfo(pa_context*, const pa_sink_info* info, int, void* userdata)
{
    auto* q = static_cast<Query*>(userdata);
    if (info)
        q->monitor = QString::fromUtf8(info->monitor_source_name ? info->monitor_source_name : "");
    pa_threaded_mainloop_signal(q->loop, 0);
}

void sourceInfo(pa_context*, const pa_source_info* info, int, void* userdata)
{
    auto* q = static_cast<Query*>(userdata);
    if (info) {
        q->rate = int(info->sample_spec.rate);
        q->channels = info->sample_spec.channels;
    }
    pa_threaded_mainloop_signal(q->loop, 0);
}

} // namespace

PulseSource::PulseSource(Kind kind)
    : kind_(kind)
{
}

PulseSource::~PulseSource()
{
    try {
        stop();
    } catch (const std::logic_error&) {
        // Destroyed from its own callback: a bug of the owner; leak rather than deadlock.
    }
}

AudioSource::Format PulseSource::format()
{
    std::lock_guard api(api_);
    QString error;
    if (!connect(&error))
        return {};
    pa_threaded_mainloop_lock(loop_);
    const Format f = resolve();
    pa_threaded_mainloop_unlock(loop_);
    return f;
}

void PulseSource::start(Handlers handlers)
{
    std::lock_guard api(api_);
    if (running_)
        throw std::logic_error("sound capture started twice");
    QString error;
    if (!connect(&error))
        throw CaptureError(QStringLiteral("cannot reach the sound server: ") + error);

    pa_threaded_mainloop_lock(loop_);
    const Format f = resolve(&followed_);
    if (!f.usable()) {
        pa_threaded_mainloop_unlock(loop_);
        throw CaptureError(kind_ == Kind::Microphone ? QStringLiteral("no microphone")
                                                     : QStringLiteral("no sound output to record"));
    }
    const bool mic = kind_ == Kind::Microphone;
    rate_ = f.sampleRate;
    channels_ = f.channels;
    handlers_ = std::move(handlers);
    timeline_.emplace(rate_, channels_, mic ? micBufferFrames : 0);
    interrupted_ = false;

    const pa_sample_spec spec{PA_SAMPLE_FLOAT32LE, uint32_t(rate_), uint8_t(channels_)};
    pa_channel_map map;
    pa_channel_map_init_extend(&map, unsigned(channels_), PA_CHANNEL_MAP_DEFAULT);
    stream_ = pa_stream_new_with_proplist(context_, mic ? "microphone" : "system audio", &spec, &map, PulseTag().get());
    QString failure;
    if (!stream_) {
        failure = errorText(context_);
    } else {
        pa_stream_set_state_callback(
            stream_,
            [](pa_stream* s, void* userdata) {
                const pa_stream_state_t state = pa_stream_get_state(s);
                PulseSource* source = self(userdata);
                if (state == PA_STREAM_FAILED || state == PA_STREAM_TERMINATED)
                    source->interrupt((source->kind_ == Kind::Microphone
                                           ? QStringLiteral("microphone stream ended: ")
                                           : QStringLiteral("system audio stream ended: "))
                                      + errorText(pa_stream_get_context(s)));
                pa_threaded_mainloop_signal(source->loop_, 0);
            },
            this);
        pa_stream_set_read_callback(
            stream_, [](pa_stream*, size_t, void* userdata) { self(userdata)->read(); }, this);
        // Frames the server dropped, or a pause of the device, break the count of frames.
        auto lost = [](pa_stream*, void* userdata) {
            if (self(userdata)->timeline_)
                self(userdata)->timeline_->lose();
        };
        pa_stream_set_overflow_callback(stream_, lost, this);
        pa_stream_set_suspended_callback(stream_, lost, this);
        pa_stream_set_moved_callback(stream_, lost, this);

        // The microphone delivers 4096-frame buffers; system audio in tenths of a second.
        const uint32_t fragmentFrames = mic ? micBufferFrames : uint32_t(rate_ / 10);
        pa_buffer_attr attr{};
        attr.maxlength = uint32_t(-1);
        attr.tlength = attr.prebuf = attr.minreq = uint32_t(-1);
        attr.fragsize = fragmentFrames * uint32_t(channels_) * sizeof(float);
        // The microphone stays on the device it opened, so a change of the default is
        // reported to the owner; system audio is moved along with the default output.
        auto flags = pa_stream_flags_t(PA_STREAM_ADJUST_LATENCY | PA_STREAM_AUTO_TIMING_UPDATE
                                       | (mic ? PA_STREAM_DONT_MOVE : 0));
        const QByteArray device = f.device.toUtf8();
        if (pa_stream_connect_record(stream_, device.constData(), &attr, flags) < 0) {
            failure = errorText(context_);
        } else {
            failure = awaitReady(
                loop_, context_, [this] { return pa_stream_get_state(stream_); }, PA_STREAM_READY,
                [](pa_stream_state_t state) { return PA_STREAM_IS_GOOD(state); });
        }
    }
    if (failure.isEmpty()) {
        pa_context_set_subscribe_callback(
            context_,
            [](pa_context* c, pa_subscription_event_type_t type, uint32_t, void* userdata) {
                if ((type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK) != PA_SUBSCRIPTION_EVENT_SERVER)
                    return;
                pa_operation* op = pa_context_get_server_info(
                    c, [](pa_context*, const pa_server_info* info, void* u) { self(u)->serverChanged(info); }, userdata);
                if (op)
                    pa_operation_unref(op);
            },
            this);
        wait(pa_context_subscribe(
            context_, PA_SUBSCRIPTION_MASK_SERVER,
            [](pa_context*, int, void* userdata) { pa_threaded_mainloop_signal(self(userdata)->loop_, 0); }, this));
        running_ = true;
    }
    pa_threaded_mainloop_unlock(loop_);
    if (!failure.isEmpty()) {
        teardown();
        handlers_ = {};
        throw CaptureError(QStringLiteral("cannot record from \"%1\": %2").arg(f.device, failure));
    }
}

void PulseSource::stop()
{
    if (loop_ && pa_threaded_mainloop_in_thread(loop_))
        throw std::logic_error("a sound capture cannot be stopped from its own callback");
    std::lock_guard api(api_);
    teardown();
    handlers_ = {};
    timeline_.reset();
}

bool PulseSource::connect(QString* error)
{
    if (loop_ && context_) {
        pa_threaded_mainloop_lock(loop_);
        const bool ready = pa_context_get_state(context_) == PA_CONTEXT_READY;
        pa_threaded_mainloop_unlock(loop_);
        if (ready)
            return true;
    }
    teardown(); // a connection that broke is made anew

    loop_ = pa_threaded_mainloop_new();
    // Named before it starts: renaming a running loop renames the caller's thread instead.
    if (loop_)
        pa_threaded_mainloop_set_name(loop_, kind_ == Kind::Microphone ? "zelvan-mic" : "zelvan-sysaudio");
    if (!loop_ || pa_threaded_mainloop_start(loop_) < 0) {
        *error = QStringLiteral("cannot start the sound main loop");
        if (loop_)
            pa_threaded_mainloop_free(loop_);
        loop_ = nullptr;
        return false;
    }
    pa_threaded_mainloop_lock(loop_);
    context_ = pa_context_new_with_proplist(pa_threaded_mainloop_get_api(loop_), "Zelvan", PulseTag().get());
    if (context_) {
        pa_context_set_state_callback(
            context_,
            [](pa_context* c, void* userdata) {
                PulseSource* source = self(userdata);
                if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(c)))
                    source->interrupt(QStringLiteral("lost the connection to the sound server: ") + errorText(c));
                pa_threaded_mainloop_signal(source->loop_, 0);
            },
            this);
    }
    if (!context_ || pa_context_connect(context_, nullptr, PA_CONTEXT_NOFLAGS, nullptr) < 0) {
        *error = context_ ? errorText(context_) : QStringLiteral("out of memory");
    } else {
        *error = awaitReady(
            loop_, context_, [this] { return pa_context_get_state(context_); }, PA_CONTEXT_READY,
            [](pa_context_state_t state) { return PA_CONTEXT_IS_GOOD(state); });
    }
    pa_threaded_mainloop_unlock(loop_);
    if (!error->isEmpty()) {
        teardown();
        return false;
    }
    return true;
}

void PulseSource::teardown()
{
    if (!loop_)
        return;
    pa_threaded_mainloop_lock(loop_);
    running_ = false;
    if (stream_) {
        pa_stream_set_state_callback(stream_, nullptr, nullptr);
        pa_stream_set_read_callback(stream_, nullptr, nullptr);
        pa_stream_set_overflow_callback(stream_, nullptr, nullptr);
        pa_stream_set_suspended_callback(stream_, nullptr, nullptr);
        pa_stream_set_moved_callback(stream_, nullptr, nullptr);
        pa_stream_disconnect(stream_);
        pa_stream_unref(stream_);
        stream_ = nullptr;
    }
    if (context_) {
        pa_context_set_state_callback(context_, nullptr, nullptr);
        pa_context_set_subscribe_callback(context_, nullptr, nullptr);
        pa_context_disconnect(context_);
        pa_context_unref(context_);
        context_ = nullptr;
    }
    pa_threaded_mainloop_unlock(loop_);
    pa_threaded_mainloop_stop(loop_);
    pa_threaded_mainloop_free(loop_);
    loop_ = nullptr;
}

void PulseSource::wait(pa_operation* op)
{
    if (!op)
        return;
    while (pa_operation_get_state(op) == PA_OPERATION_RUNNING)
        pa_threaded_mainloop_wait(loop_);
    pa_operation_unref(op);
}

AudioSource::Format PulseSource::resolve(QString* followed)
{
    Query q{loop_};
    wait(pa_context_get_server_info(context_, serverInfo, &q));
    if (kind_ == Kind::SystemAudio) {
        if (q.defaultSink.isEmpty())
            return {};
        const QByteArray sink = q.defaultSink.toUtf8();
        wait(pa_context_get_sink_info_by_name(context_, sink.constData(), sinkInfo, &q));
        if (q.monitor.isEmpty())
            return {};
        if (followed)
            *followed = q.defaultSink;
        return {.sampleRate = 48000, .channels = 2, .device = q.monitor};
    }
    if (q.defaultSource.isEmpty())
        return {};
    const QByteArray source = q.defaultSource.toUtf8();
    wait(pa_context_get_source_info_by_name(context_, source.constData(), sourceInfo, &q));
    if (followed)
        *followed = q.defaultSource;
    return {.sampleRate = q.rate, .channels = q.channels, .device = q.defaultSource};
}

void PulseSource::interrupt(const QString& reason)
{
    if (!running_ || interrupted_)
        return;
    interrupted_ = true;
    if (handlers_.interrupted)
        handlers_.interrupted(reason);
}

void PulseSource::serverChanged(const pa_server_info* info)
{
    if (!running_ || !info)
        return;
    if (kind_ == Kind::Microphone) {
        const QString source = QString::fromUtf8(info->default_source_name ? info->default_source_name : "");
        if (source != followed_)
            interrupt(QStringLiteral("the default microphone changed to \"%1\"").arg(source));
        return;
    }
    const QString sink = QString::fromUtf8(info->default_sink_name ? info->default_sink_name : "");
    if (!sink.isEmpty() && sink != followed_)
        follow(sink);
}

void PulseSource::follow(const QString& sink)
{
    followed_ = sink;
    const QByteArray name = sink.toUtf8();
    pa_operation* op = pa_context_get_sink_info_by_name(
        context_, name.constData(),
        [](pa_context* c, const pa_sink_info* info, int, void* userdata) {
            PulseSource* source = self(userdata);
            if (!info || !source->running_ || !source->stream_ || !info->monitor_source_name)
                return;
            pa_operation* move = pa_context_move_source_output_by_name(c, pa_stream_get_index(source->stream_),
                                                                       info->monitor_source_name, nullptr, nullptr);
            if (move)
                pa_operation_unref(move);
        },
        this);
    if (op)
        pa_operation_unref(op);
}

void PulseSource::read()
{
    if (!running_ || !stream_)
        return;
    const std::size_t frameBytes = sizeof(float) * std::size_t(channels_);
    while (pa_stream_readable_size(stream_) > 0) {
        const void* data = nullptr;
        std::size_t bytes = 0;
        if (pa_stream_peek(stream_, &data, &bytes) < 0 || bytes == 0)
            break;
        if (!data) { // a hole: those frames were lost
            timeline_->lose();
            pa_stream_drop(stream_);
            continue;
        }
        const auto frames = std::int64_t(bytes / frameBytes);
        // The newest frame waiting here arrived just now, and the device held it for its
        // own latency before that; the first frame of this fragment is older by
        // everything waiting. (The stream's interpolated latency is not used: between
        // timing updates it can be off by the server's whole buffer.)
        const double now = MediaClock::now();
        const double waiting = double(pa_stream_readable_size(stream_)) / double(frameBytes) / rate_;
        const pa_timing_info* timing = pa_stream_get_timing_info(stream_);
        const double device = timing ? std::clamp(double(timing->source_usec) / 1e6, 0.0, 0.5) : 0.0;
        const double heardAt = now - waiting - device;
        std::vector<CaptureBuffer> buffers = timeline_->push(static_cast<const float*>(data), frames, heardAt);
        pa_stream_drop(stream_);
        if (handlers_.buffer)
            for (const CaptureBuffer& b : buffers)
                handlers_.buffer(b);
    }
}
