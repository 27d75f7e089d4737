#pragma once

#include <QStringList>
#include <QUrl>
#include <functional>
#include <optional>

// The board window, and Qt WebEngine under it, is a library of its own that the
// program loads the first time the board is wanted: linked in, WebEngine's
// libraries would cost every start of the tray app some 25 MB and their loading,
// for a board that may never open. The library takes the rest of the program's
// code from the program itself. Main thread.
namespace BoardModule {

// What the library offers; every call acts on the process's one board.
struct Entry {
    void (*show)(const std::optional<QUrl>& url);
    void (*open)(const QUrl& url);
    void (*openDeepLink)(const QUrl& link);
    void (*signedIn)();
    void (*signedOut)();
    // "--board-check": the board window on its own (board/BoardCheck.h).
    int (*check)(int argc, char** argv, const QStringList& args);
};

// The library's entry, loaded by the first call; null when it cannot be loaded,
// which is logged and, in the tray app, told to the user once.
const Entry* entry();
// Whether the library is loaded: before, no board exists in the process.
bool loaded();

// Where the board's "Settings…" goes; set by the program before the board opens.
void setOpenSettings(std::function<void()> open);
void openSettings();

} // namespace BoardModule
