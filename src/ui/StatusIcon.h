#pragma once

#include <QByteArray>
#include <QIcon>
#include <QImage>
#include <QRect>

class QSystemTrayIcon;

// Zelvan's mark, a thick slash rising to the right: the tray icon and the
// application icon. Drawn in code from the brand colours; no state.
namespace StatusIcon {

// The tray icon, `size` points square: the plain slash, or while recording with a
// clear circle cut through it and a red dot inside unless `dot` is false (a caller
// blinks the dot by alternating the two). Drawn for whatever pixel size the tray
// asks (its own size and ×2 are offered), in the colours for the look of the moment.
QIcon slash(qreal size = 18, bool recording = false, bool dot = true);

// One drawing of the tray icon, `size` × `scale` pixels square, for a dark or a
// light tray.
QImage slashImage(qreal size, bool recording, bool dot, bool dark, qreal scale = 1);

// Whether the tray is drawn dark now: the desktop's colour scheme.
bool darkTray();

// The application icon as PNG data, `pixels` square: the slash on a rounded
// near-black square, transparent around it. Empty when it cannot be made.
QByteArray appIcon(int pixels);

// Where the popover hangs from after a click on `tray`: the icon's geometry
// when the tray reports one that holds the pointer, else none (the pointer).
// An XEmbed tray reports a geometry that does not follow the embedding.
QRect popoverAnchor(const QSystemTrayIcon& tray);

} // namespace StatusIcon
