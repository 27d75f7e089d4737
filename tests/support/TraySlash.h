#pragma once

#include <QRect>
#include <QString>
#include <vector>

// Where the slash's stroke for a light tray (#4A8A00) shows on the lower part of
// the screen, where the tray host of the private desktop sits: the bounding box
// of its pixels, empty when there are too few. The icon's own geometry() is no
// help: in an XEmbed tray it does not follow the embedding.
QRect slashOnScreen();

// The frame of the application's visible window titled "Zelvan" (the popover), as
// the X server has it; empty when none shows.
QRect popoverOnScreen();
// The frame of the shown window with exactly this title; empty when none shows.
QRect windowOnScreen(const QString& title);

// A process's visible windows: their ids and frames, as the X server has them.
struct ShownWindow {
    QString id;
    QRect frame;
};
std::vector<ShownWindow> visibleWindows(qint64 pid);
