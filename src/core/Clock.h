#pragma once

#include <QDateTime>

// Where every timed behaviour takes its time from, so that tests can set and
// advance time instead of sleeping.
class Clock {
public:
    virtual ~Clock() = default;
    // Wall-clock time, for dates that are stored or shown.
    virtual QDateTime now() const = 0;
    // Monotonic seconds from an arbitrary origin, for intervals; never jumps.
    virtual double uptime() const = 0;

    // The clock in use: the system's, unless a test installed its own.
    static const Clock& current();
    // Installs a clock (nullptr restores the system's). The caller keeps it alive.
    static void setCurrent(const Clock* clock);
    static const Clock& system();
};
