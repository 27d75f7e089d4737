#pragma once

#include "platform/ScreenStream.h"

#include <QImage>
#include <QString>
#include <vector>

// Direct access to the screen of this desktop (the X display of $DISPLAY). Every
// function opens its own short connection, so any thread may call them; failures
// throw CaptureError.
namespace ScreenCapture {

// The active outputs, the primary one marked; the whole screen as one display when
// the server reports no output.
std::vector<CaptureDisplay> displays();

// The display to capture by default: the primary output, else the first.
CaptureDisplay primaryDisplay();

// A full-resolution grab of the primary display (primaryDisplay()), as a screenshot
// tool takes it: no pointer, nothing blacked out.
QImage grabPrimary();

// Succeeds when the display can be opened and a 1 × 1 grab of its root window works.
void probe();

// Marks a top-level window (an X window id such as QWidget::winId()) so that screen
// streams black it out, its frame included. The mark lives on the native window:
// mark it again after the window was re-created.
void exclude(unsigned long window);

// Whether a window carries the mark; false when it cannot be read.
bool isExcluded(unsigned long window);

// The X property that carries the mark.
inline constexpr const char* excludeProperty = "_ZELVAN_NO_CAPTURE";

} // namespace ScreenCapture
