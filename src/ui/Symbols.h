#pragma once

#include <QFont>
#include <QString>

// The symbols the views name (chevron.up, eye.slash, xmark, …) as glyphs of the
// Material Icons font (fonts-material-design-icons-iconfont). Views tint them
// with the palette like text.
namespace Symbols {

inline constexpr const char* family = "Material Icons";

// The glyph of a symbol name; empty for a name the table lacks (logged once).
QString glyph(const QString& name);

// The icon font at `size` points (one point to one logical pixel).
QFont font(qreal size);

} // namespace Symbols
