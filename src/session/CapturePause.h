#pragma once

// Stretches of time when a window of ours covers the screen (the region picker).
// Frames grabbed then show our overlay rather than the user's work, so a
// recording keeps none of them. Times are on the monotonic clock
// (Clock::current().uptime()) that frames are stamped with.
namespace CapturePause {

// Seconds after a pause during which frames still count as covered: the windows
// it uncovered need a moment to paint themselves again.
inline constexpr double settle = 1.0;

// Before the covering window shows. Pauses may nest.
void begin();
// Once the window is gone from the screen.
void end();
// Whether a frame grabbed at `hostTime` fell within a pause or its settling time;
// every frame does while a pause lasts. Any thread.
bool covers(double hostTime);

} // namespace CapturePause
