#pragma once

#include <QStringList>

// "--board-check [URL]": opens the real board window on its own, reports what it
// shows after eight seconds on lines beginning "board-check: ", optionally saves
// a picture of it (ZELVAN_BOARD_SHOT names the folder), closes it and exits. It
// runs none of the tray application's launch and keeps the user's settings and
// board profile untouched: it works on a throw-away copy of the settings and a
// board profile of its own.
namespace BoardLiveCheck {

int main(int argc, char** argv, const QStringList& args);

} // namespace BoardLiveCheck
