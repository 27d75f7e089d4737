#pragma once

#include <QByteArray>
#include <functional>
#include <optional>

// A silent screenshot of the whole primary display, for pins asked for by voice.
namespace ScreenGrab {

using Completion = std::function<void(std::optional<QByteArray> jpeg)>;

// Grabs off the main thread and calls `completion` exactly once, later, on the
// main thread: a JPEG at quality 0.7 and at most 1800 px wide, or nothing when
// the screen could not be grabbed (logged "screencapture: …"). Nothing touches
// the disk. Needs a running QCoreApplication.
void mainDisplay(Completion completion);

} // namespace ScreenGrab
