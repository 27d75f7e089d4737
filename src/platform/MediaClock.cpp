#include "platform/MediaClock.h"

namespace MediaClock {

double seconds(std::chrono::steady_clock::time_point at)
{
    return std::chrono::duration<double>(at.time_since_epoch()).count();
}

double now()
{
    return seconds(std::chrono::steady_clock::now());
}

} // namespace MediaClock
