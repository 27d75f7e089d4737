#pragma once

#include <QRect>
#include <QString>
#include <QStringList>

class Session;

namespace Recovery {

// Closes every session in `recordings` that a previous run left without an end:
// the end is the latest change inside its folder (at least a second after its
// start), the audio file the first readable of "mixed.m4a", "system.m4a" and
// "mic.m4a", and the error "the session was interrupted". A folder a recorder
// holds is live and left alone, and so is a link. Returns the folder names it
// closed; `unreadable` gets those of folders whose "meta.json" cannot be read
// (they are logged and left as they are).
QStringList recoverInterrupted(const QString& recordings, QStringList* unreadable = nullptr);

// Closes one session that way and saves it, whoever holds its folder.
void closeInterrupted(Session& session);

// A window frame as "{{x, y}, {w, h}}", y measured upward from the bottom of a
// screen `screenHeight` high.
QString frameText(const QRect& frame, int screenHeight);

} // namespace Recovery
