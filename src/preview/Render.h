#pragma once

#include <QString>

class QWidget;

// Draws one view, alone, into a PNG of its natural size: the view's size hint
// at two pixels per point, in the forced colour scheme, over opaque white when
// light and over nothing (transparent) when dark. The view is never shown on a
// screen. Main thread.
namespace Render {

inline constexpr int scale = 2;

// False when the image could not be drawn or written; the reason is logged.
bool png(QWidget& view, const QString& path, bool dark);

} // namespace Render
