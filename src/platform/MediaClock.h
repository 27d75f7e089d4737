#pragma once

// The host's monotonic media clock: seconds on std::chrono::steady_clock since its
// epoch. Captured frames and sound buffers carry their time on it, so a recording
// places them by subtracting its own start on the same clock. Clock::system().uptime()
// reads it too.
namespace MediaClock {
double now();
} // namespace MediaClock
