#pragma once

#include <functional>
#include <optional>

// What the desktop asks of every application's look: its colour scheme and
// whether to animate. Main thread.
namespace DesktopLook {

// True for dark, false for light, nothing when the desktop states no preference
// (or cannot be asked). Cached; kept current by the desktop's change signal.
std::optional<bool> prefersDark();

// True when the desktop asks for no animations. Read once, then kept current
// by the desktop's change signal.
bool reduceMotion();

// Runs `changed` on the main thread whenever the animation setting changes.
void onMotionChange(std::function<void()> changed);

// Runs `changed` on the main thread whenever the colour-scheme preference changes.
void onSchemeChange(std::function<void()> changed);

} // namespace DesktopLook
