#include "core/Clock.h"

#include <atomic>
#include <chrono>

namespace {

class SystemClock final : public Clock {
public:
    QDateTime now() const override { return QDateTime::currentDateTimeUtc(); }
    double uptime() const override
    {
        using namespace std::chrono;
        return duration<double>(steady_clock::now().time_since_epoch()).count();
    }
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
