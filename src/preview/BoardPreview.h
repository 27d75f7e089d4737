#pragma once

#include <QString>

class QWidget;

// The board window as the user sees it, drawn without a web view, an account
// or the network: a 1100 × 680 frame with its own title bar and toolbar (back,
// forward, the centred title "My board · Zelvan", reload) over a sample page
// of four columns of cards in the dark palette. The window is frameless and
// draws its chrome itself, since a window manager's title bar cannot be drawn
// offscreen. Main thread.
namespace BoardPreview {

inline constexpr int width = 1100;
inline constexpr int height = 680;
// The chrome band: title bar and toolbar in one, as the board window shows them.
inline constexpr int chromeHeight = 52;
inline constexpr int pagePadding = 24;

// The window, not shown; the caller owns it.
QWidget* window();

// Writes the window as a PNG at two pixels per point; false when it could not
// be drawn or written (logged).
bool render(const QString& path);

} // namespace BoardPreview
