#pragma once

#include <QColor>
#include <QFont>

class QLabel;
class QWidget;

// The plain desktop look of the ordinary windows (settings, end of day): the
// desktop's font family at the usual text-style sizes, its palette, and the
// few system colours those windows use for status texts.
namespace SystemLook {

enum class Style { body, caption, subheadline, headline, title2 };

QFont font(Style style);

// Status colours, readable on light and dark window backgrounds.
QColor red();
QColor green();
QColor orange();

// A label that shows its text verbatim (never rich text), in a style, and
// optionally wrapped onto several lines.
QLabel* label(const QString& text, Style style = Style::body, QWidget* parent = nullptr);
// The label's text in the palette's secondary (placeholder) tone.
void secondary(QLabel* label);
void tint(QLabel* label, const QColor& color);
void wrap(QLabel* label);

// Gives a window's content the desktop's standard palette in the scheme the
// rest of the app draws in (Scheme::of), and again whenever the desktop's
// scheme changes: the plain look follows dark and light like the kit does.
void follow(QWidget* view);

// Lays out `root` and everything in it at once, innermost first. Rows added or
// hidden are otherwise placed at the next turn of the event loop, and only
// once the window is on screen; a render right after a change must see them.
void relayout(QWidget* root);

} // namespace SystemLook
