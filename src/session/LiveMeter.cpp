#include "session/LiveMeter.h"

#include "core/Clock.h"

#include <cmath>

LiveMeter& LiveMeter::shared()
{
    static LiveMeter meter;
    return meter;
}

void LiveMeter::feedMic(float rms)
{
    float level = (20.0f * std::log10(std::max(rms, 0.00001f)) + 52.0f) / 40.0f;
    level = std::isnan(level) ? 0.0f : std::clamp(level, 0.0f, 1.0f);
    const float current = mic();
    setMic(current < level ? level : level * 0.14f + current * 0.86f);
}

void LiveMeter::pulse()
{
    pulseAt_.store(Clock::current().now().toMSecsSinceEpoch(), std::memory_order_relaxed);
}

QDateTime LiveMeter::pulseAt() const
{
    const qint64 ms = pulseAt_.load(std::memory_order_relaxed);
    // The distant past: year 1, far before any pulse.
    if (ms == std::numeric_limits<qint64>::min())
        return QDateTime(QDate(1, 1, 1), QTime(0, 0), QTimeZone::utc());
    return QDateTime::fromMSecsSinceEpoch(ms, QTimeZone::utc());
}
