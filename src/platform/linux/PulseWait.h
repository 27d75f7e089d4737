#pragma once

#include <functional>
#include <pulse/context.h>
#include <pulse/thread-mainloop.h>
#include <pulse/timeval.h>

namespace PulseWait {

// With the main loop's lock held: waits on the loop until `done` comes true.
// False when it has not by the deadline (pa_rtclock_now() based) or the
// connection broke, so no question to a stopped server waits for ever.
bool until(pa_threaded_mainloop* loop, pa_context* context, pa_usec_t deadline, const std::function<bool()>& done);

} // namespace PulseWait
