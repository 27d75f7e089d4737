#pragma once

// Whether screen capture works right now, asked of the display itself rather than
// assumed: true when the X display opens and a 1 × 1 grab of its root window
// succeeds. Otherwise false and one log line "screen access probe: …". Blocks for
// the length of one round trip to the display server; call it off the main thread.
namespace ScreenAccess {
bool works();
}
