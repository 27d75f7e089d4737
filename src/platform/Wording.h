#pragma once

#include <QString>

// The one table that turns the Mac's words and key glyphs in shown texts into
// what a Linux desktop says: "⌥⌘P" becomes "Ctrl+Alt+P", "⌘," becomes
// "Ctrl+,", "␣" after modifiers becomes "Space", the word "Mac" becomes
// "computer", and the Mac's settings places ("System Settings › Privacy &
// Security › Microphone") become where this desktop keeps the same thing. Texts sent over the wire are never passed
// through it.
namespace Wording {

QString shown(const QString& text);

} // namespace Wording
