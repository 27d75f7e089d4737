#pragma once

#include <QString>
#include <optional>

// Which modifier keys are held right now, for a hold-to-talk key whose release
// the key grab itself may never report (the modifiers go up first).
namespace KeyModifiers {

struct Held {
    bool control = false;
    bool alt = false;
};

// The modifiers held now, from the pointer's state on the desktop; nothing when
// the display cannot tell (then `why` gets the reason). Any thread; calls are
// serialised.
std::optional<Held> current(QString* why = nullptr);

} // namespace KeyModifiers
