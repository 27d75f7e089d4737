#pragma once

#include <optional>

class QWidget;

enum class ColorScheme { light, dark };

// The colour scheme a view draws in, found the way an environment value is:
// the nearest scheme forced on the widget or one of its parents, else the
// desktop's. Views ask on every paint, so a change shows at the next repaint.
namespace Scheme {

// The dynamic property that holds a forced scheme.
extern const char* const forcedProperty;

// ZELVAN_COLOR_SCHEME=dark|light, else the settings portal's preference, else
// dark exactly when the application palette's window colour is dark.
ColorScheme desktop();

ColorScheme of(const QWidget* widget);

// Forces `scheme` on `widget` and everything inside it; nullopt lifts the force.
void force(QWidget* widget, std::optional<ColorScheme> scheme);

} // namespace Scheme
