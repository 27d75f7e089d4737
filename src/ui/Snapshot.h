#pragma once

#include <QString>

class QWidget;

// Renders a view to a PNG file, as the previews and the view tests see it: the
// view at its ideal size, padded on all sides, on a neutral backdrop (#2A2D33
// dark, #D9DCE1 light), in the forced colour scheme, at two pixels per point.
// So an ideal size of w × h points gives an image of (w + 2·padding) × 2 by
// (h + 2·padding) × 2 pixels. Set Orb::setSnapshot(true) first for still orbs.
namespace Snapshot {

// The view is lent to a backdrop for the rendering and handed back to its
// parent with its geometry afterwards. Returns whether the file was written;
// a failure (no image, no folder, a write error) is logged with its reason.
// Main thread.
bool png(QWidget& view, bool dark, const QString& path, qreal padding = 24);

} // namespace Snapshot
