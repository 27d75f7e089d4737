#pragma once

#include <QColor>

// The three brand colours, in sRGB, opaque, the same in light and dark
// appearance. One QColor serves both the widgets and code-drawn images.
namespace Brand {
const QColor& lime(); // #C6FF3D
const QColor& bg();   // near-black background
const QColor& red();  // the recording state
} // namespace Brand
