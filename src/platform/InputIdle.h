#pragma once

#include <QString>
#include <optional>

// How long the desktop has had no keyboard or pointer input.
namespace InputIdle {

// Seconds since the last input event of any kind on this desktop, or nothing
// when the display cannot tell (no X display, no screen-saver extension); then
// `why` gets the reason. Any thread may call it; calls are serialised.
std::optional<double> seconds(QString* why = nullptr);

} // namespace InputIdle
