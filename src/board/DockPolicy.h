#pragma once

#include <optional>

// The app shows in the taskbar only while the board window is open; otherwise
// it lives in the tray alone.
namespace DockPolicy {

enum class Activation { regular, accessory };

Activation wanted(bool boardOpen);
// The policy to switch to, or nothing when the current one is already right.
std::optional<Activation> change(Activation current, bool boardOpen);

} // namespace DockPolicy
