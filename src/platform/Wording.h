#pragma once

#include <QString>

// The words shown to the user that name the computer's own settings.
namespace Wording {

// A text with the Mac's settings places ("System Settings › Privacy & Security ›
// Microphone") replaced by where the same thing is found on this desktop; other
// texts come back unchanged.
QString desktop(const QString& text);

} // namespace Wording
