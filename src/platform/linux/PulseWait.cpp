#include "platform/linux/PulseWait.h"

#include <utility>

namespace {

void timeUp(pa_mainloop_api*, pa_time_event*, const struct timeval*, void* userdata)
{
    auto* late = static_cast<std::pair<pa_threaded_mainloop*, bool>*>(userdata);
    late->second = true;
    pa_threaded_mainloop_signal(late->first, 0);
}

} // namespace

namespace PulseWait {

bool until(pa_threaded_mainloop* loop, pa_context* context, pa_usec_t deadline, const std::function<bool()>& done)
{
    if (done())
        return true;
    if (!context)
        return false;
    std::pair<pa_threaded_mainloop*, bool> late{loop, false};
    pa_time_event* timer = pa_context_rttime_new(context, deadline, timeUp, &late);
    if (!timer)
        return false;
    bool ok = false;
    for (;;) {
        if (done()) {
            ok = true;
            break;
        }
        if (late.second || !PA_CONTEXT_IS_GOOD(pa_context_get_state(context)))
            break;
        pa_threaded_mainloop_wait(loop);
    }
    pa_threaded_mainloop_get_api(loop)->time_free(timer);
    return ok;
}

} // namespace PulseWait
