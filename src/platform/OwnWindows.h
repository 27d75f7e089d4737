#pragma once

class QWindow;

// Keeps the windows of this process out of screen recordings. Once installed,
// every top-level window carries the capture-exclusion mark of ScreenCapture from
// the moment its native window is made, before it is first shown, and again
// whenever it is made anew; screen streams black such windows out.
namespace OwnWindows {

// Watches the application's windows from now on. Does nothing without a GUI
// application or off X11, and nothing more when called again. Main thread.
void install();

// Returns once the display server has carried out every window request of this
// process so far (shown, hidden, moved). Main thread; nothing to do off X11.
void sync();

// Returns once `window`, just hidden, is off the screen: the window manager has
// taken down the frame it put around it too, which it does in its own time. Until
// then the frame still shows, and what it leaves behind is only painted over after.
// Main thread; gives up after a few seconds, for a window manager that hangs.
void waitOffScreen(QWindow* window);

} // namespace OwnWindows
