#pragma once

#include <QByteArray>
#include <QString>
#include <functional>
#include <optional>

// Taking a pin by hand: the user draws a region of the screen, then says in a
// small dialog what the team should notice there.
namespace PinCapture {

using Completion = std::function<void(std::optional<QByteArray> jpeg)>;

// Freezes the primary display and lets the user drag a rectangle over it
// (Escape cancels). `completion` runs once, later, on the main thread: the
// region as JPEG (quality 0.7, at most 1800 px wide), or nothing when the user
// cancelled, the screen could not be grabbed (logged "screencapture: …") or the
// image could not be encoded. A call while a selection is open gets nothing.
// Call on the main thread.
void selectRegion(Completion completion);

// Asks for the note, modally, on the main thread. The trimmed text (perhaps
// empty) when the user pins, nothing when cancelled. `image` is shown when it
// decodes.
std::optional<QString> askNote(const QByteArray& image, bool recording);

} // namespace PinCapture
