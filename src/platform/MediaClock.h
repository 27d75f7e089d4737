#pragma once

#include <chrono>

// The host's monotonic media clock: seconds on std::chrono::steady_clock since its
// epoch. Captured frames and sound buffers carry their time on it, so a recording
// places them by subtracting its own start on the same clock. It is the same scale
// as Clock::system().uptime().
namespace MediaClock {
double now();
double seconds(std::chrono::steady_clock::time_point at);
} // namespace MediaClock
