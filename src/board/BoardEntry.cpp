#include "board/Board.h"
#include "board/BoardCheck.h"
#include "board/BoardModule.h"

// The board library's one way in, found by name when the program loads it.
extern "C" Q_DECL_EXPORT const BoardModule::Entry* zelvanBoardEntry()
{
    static const BoardModule::Entry entry{
        .show = [](const std::optional<QUrl>& url) { Board::shared().show(url); },
        .open = [](const QUrl& url) { Board::shared().open(url); },
        .openDeepLink = [](const QUrl& link) { Board::shared().openDeepLink(link); },
        .signedIn = [] { Board::shared().signedIn(); },
        .signedOut = [] { Board::shared().signedOut(); },
        .check = &BoardLiveCheck::main,
    };
    return &entry;
}
