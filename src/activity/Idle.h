#pragma once

// Whether the user is at the machine.
namespace Idle {

// Seconds without input after which the user counts as away.
inline constexpr double threshold = 300;

// Seconds since the last keyboard or pointer input; 0 when the desktop cannot
// tell, which is logged once ("idle: …").
double seconds();

} // namespace Idle
