#include "core/Clock.h"

#include "platform/MediaClock.h"

#include <atomic>

namespace {

class SystemClock final : public Clock {
public:
    QDateTime now() const override { return QDateTime::currentDateTimeUtc(); }
    // The capture backends stamp frames and sound on this same clock.
    double uptime() const override { return MediaClock::now(); }
};

std::atomic<const Clock*> installed{nullptr};

} // namespace

const Clock& Clock::system()
{
    static const SystemClock clock;
    return clock;
}

const Clock& Clock::current()
{
    const Clock* c = installed.load(std::memory_order_acquire);
    return c ? *c : system();
}

void Clock::setCurrent(const Clock* clock)
{
    installed.store(clock, std::memory_order_release);
}
