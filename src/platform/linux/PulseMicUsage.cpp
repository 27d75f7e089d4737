#include "platform/linux/PulseMicUsage.h"

#include "platform/linux/PulseTag.h"
#include "platform/linux/PulseWait.h"

#include <pulse/rtclock.h>

struct PulseMicUsage::Snapshot {
    struct Source {
        quint32 index = 0;
        QByteArray name;
        bool monitor = false;
        bool running = false;
    };
    struct Output {
        quint32 source = 0;
        Proc proc;
    };
    pa_threaded_mainloop* loop = nullptr;
    int pending = 0;
    bool failed = false;
    QByteArray defaultSource;
    std::vector<Source> sources;
    std::vector<Output> outputs;

    const Source* defaultInput() const
    {
        for (const Source& s : sources)
            if (s.name == defaultSource)
                return s.monitor ? nullptr : &s;
        return nullptr;
    }
    bool isMonitor(quint32 index) const
    {
        for (const Source& s : sources)
            if (s.index == index)
                return s.monitor;
        return false;
    }
};

namespace {

using Snapshot = PulseMicUsage::Snapshot;

void finish(Snapshot* s, bool failed)
{
    s->failed = s->failed || failed;
    --s->pending;
    pa_threaded_mainloop_signal(s->loop, 0);
}

QString prop(const pa_proplist* p, const char* key)
{
    const char* v = pa_proplist_gets(p, key);
    return v ? QString::fromUtf8(v) : QString();
}

MicUsage::Proc procOf(const pa_proplist* p)
{
    MicUsage::Proc proc;
    bool ok = false;
    const qint32 pid = prop(p, PA_PROP_APPLICATION_PROCESS_ID).toInt(&ok);
    proc.pid = ok && pid > 0 ? pid : 0;
    for (const char* key :
         {PA_PROP_APPLICATION_ID, "pipewire.access.portal.app_id", PA_PROP_APPLICATION_PROCESS_BINARY}) {
        proc.bundleID = prop(p, key);
        if (!proc.bundleID.isEmpty())
            break;
    }
    return proc;
}

} // namespace

PulseMicUsage::PulseMicUsage(const QString& server, int timeoutMs)
    : server_(server.toUtf8())
    , timeoutMs_(timeoutMs)
{
}

PulseMicUsage::~PulseMicUsage()
{
    std::lock_guard api(api_);
    if (!loop_)
        return;
    pa_threaded_mainloop_lock(loop_);
    dropContext();
    pa_threaded_mainloop_unlock(loop_);
    pa_threaded_mainloop_stop(loop_);
    pa_threaded_mainloop_free(loop_);
}

std::optional<quint32> PulseMicUsage::defaultInputDevice()
{
    const std::optional<Snapshot> s = snapshot(false);
    if (!s || !s->defaultInput())
        return std::nullopt;
    return s->defaultInput()->index;
}

std::optional<bool> PulseMicUsage::inputRunningSomewhere()
{
    const std::optional<Snapshot> s = snapshot(false);
    if (!s)
        return std::nullopt;
    const Snapshot::Source* input = s->defaultInput();
    return input && input->running;
}

std::optional<std::vector<MicUsage::Proc>> PulseMicUsage::processesUsingInput()
{
    const std::optional<Snapshot> s = snapshot(true);
    if (!s)
        return std::nullopt;
    std::vector<Proc> procs;
    for (const Snapshot::Output& o : s->outputs)
        if (!s->isMonitor(o.source))
            procs.push_back(o.proc);
    return procs;
}

std::optional<PulseMicUsage::Snapshot> PulseMicUsage::snapshot(bool outputs)
{
    std::lock_guard api(api_);
    if (!loop_) {
        loop_ = pa_threaded_mainloop_new();
        if (loop_)
            pa_threaded_mainloop_set_name(loop_, "zelvan-micusage");
        if (!loop_ || pa_threaded_mainloop_start(loop_) < 0) {
            if (loop_)
                pa_threaded_mainloop_free(loop_);
            loop_ = nullptr;
            return std::nullopt;
        }
    }
    const pa_usec_t deadline = pa_rtclock_now() + pa_usec_t(timeoutMs_) * PA_USEC_PER_MSEC;
    pa_threaded_mainloop_lock(loop_);
    std::optional<Snapshot> result;
    if (connect(deadline)) {
        Snapshot s;
        s.loop = loop_;
        // All three go out at once: one round trip to the server.
        pa_operation* ops[3] = {};
        ops[0] = pa_context_get_server_info(
            context_,
            [](pa_context*, const pa_server_info* info, void* u) {
                auto* s = static_cast<Snapshot*>(u);
                if (info && info->default_source_name)
                    s->defaultSource = info->default_source_name;
                finish(s, !info);
            },
            &s);
        ops[1] = pa_context_get_source_info_list(
            context_,
            [](pa_context*, const pa_source_info* info, int eol, void* u) {
                auto* s = static_cast<Snapshot*>(u);
                if (eol)
                    return finish(s, eol < 0);
                s->sources.push_back({.index = info->index,
                                      .name = info->name,
                                      .monitor = info->monitor_of_sink != PA_INVALID_INDEX,
                                      .running = info->state == PA_SOURCE_RUNNING});
            },
            &s);
        if (outputs)
            ops[2] = pa_context_get_source_output_info_list(
                context_,
                [](pa_context*, const pa_source_output_info* info, int eol, void* u) {
                    auto* s = static_cast<Snapshot*>(u);
                    if (eol)
                        return finish(s, eol < 0);
                    // Streams the server makes for itself (loopbacks, echo
                    // cancellers) belong to no client and are no process.
                    if (!info->corked && info->client != PA_INVALID_INDEX)
                        s->outputs.push_back({.source = info->source, .proc = procOf(info->proplist)});
                },
                &s);
        for (pa_operation* op : ops)
            if (op)
                ++s.pending;
        const bool sent = ops[0] && ops[1] && (!outputs || ops[2]);
        const bool answered = sent && waitUntil(deadline, [&] { return s.pending == 0; });
        for (pa_operation* op : ops) {
            if (!op)
                continue;
            // A late answer must not reach `s` once it is gone.
            if (pa_operation_get_state(op) == PA_OPERATION_RUNNING)
                pa_operation_cancel(op);
            pa_operation_unref(op);
        }
        if (answered && !s.failed)
            result = std::move(s);
        else if (!answered)
            dropContext(); // a server that does not answer in time is asked anew next time
    }
    pa_threaded_mainloop_unlock(loop_);
    return result;
}

bool PulseMicUsage::connect(pa_usec_t deadline)
{
    if (context_ && pa_context_get_state(context_) == PA_CONTEXT_READY)
        return true;
    dropContext();
    context_ = pa_context_new_with_proplist(pa_threaded_mainloop_get_api(loop_), "Zelvan", PulseTag().get());
    if (!context_)
        return false;
    pa_context_set_state_callback(
        context_,
        [](pa_context*, void* loop) { pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(loop), 0); },
        loop_);
    // A question never starts a sound server of its own.
    if (pa_context_connect(context_, server_.isEmpty() ? nullptr : server_.constData(), PA_CONTEXT_NOAUTOSPAWN, nullptr)
        < 0) {
        dropContext();
        return false;
    }
    const bool ready = waitUntil(deadline,
                                 [this] {
                                     const pa_context_state_t state = pa_context_get_state(context_);
                                     return state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state);
                                 })
        && pa_context_get_state(context_) == PA_CONTEXT_READY;
    if (!ready)
        dropContext();
    return ready;
}

void PulseMicUsage::dropContext()
{
    if (!context_)
        return;
    pa_context_set_state_callback(context_, nullptr, nullptr);
    pa_context_disconnect(context_);
    pa_context_unref(context_);
    context_ = nullptr;
}

bool PulseMicUsage::waitUntil(pa_usec_t deadline, const std::function<bool()>& done)
{
    return PulseWait::until(loop_, context_, deadline, done);
}

MicUsage& MicUsage::system()
{
    static PulseMicUsage usage;
    return usage;
}

MicUsage& MicUsage::patient()
{
    static PulseMicUsage usage(QString(), 5000);
    return usage;
}
