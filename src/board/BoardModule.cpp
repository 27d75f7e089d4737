#include "board/BoardModule.h"

#include "core/Log.h"

#include <QApplication>
#include <QFileInfo>
#include <QLibrary>
#include <QMessageBox>

namespace {

std::function<void()>& settingsOpener()
{
    static std::function<void()> open;
    return open;
}

const BoardModule::Entry* loadedEntry = nullptr;
const QString notInstalled = QStringLiteral("not installed");

// Beside the program in a build; in its private library folder once installed.
QStringList places()
{
    const QString dir = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath();
    return {dir + QStringLiteral("/libzelvan-board.so"),
            dir + QStringLiteral("/../" ZELVAN_BOARD_DIR "/libzelvan-board.so")};
}

void tell(const QString& why)
{
    slog(QStringLiteral("board: its library could not be loaded: ") + why);
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
        return;
    const QString what = why == notInstalled
        ? QStringLiteral("The board’s part of Zelvan is not installed.")
        : QStringLiteral("The board’s part of Zelvan could not be loaded (%1).").arg(why);
    auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Zelvan can’t open the board"),
                                what + QStringLiteral(" Reinstalling Zelvan puts it back; recording and filing work "
                                                      "without it."));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->show();
}

} // namespace

namespace BoardModule {

const Entry* entry()
{
    static bool tried = false;
    if (tried)
        return loadedEntry;
    tried = true;
    QString why = notInstalled;
    for (const QString& path : places()) {
        if (!QFileInfo::exists(path))
            continue;
        QLibrary library(path);
        // Every symbol bound now: a missing one fails here, not at a later call.
        library.setLoadHints(QLibrary::ResolveAllSymbolsHint);
        using Get = const Entry* (*)();
        if (const auto get = reinterpret_cast<Get>(library.resolve("zelvanBoardEntry"))) {
            loadedEntry = get();
            slog(QStringLiteral("board: library loaded"));
            return loadedEntry;
        }
        why = library.errorString();
    }
    tell(why);
    return nullptr;
}

bool loaded()
{
    return loadedEntry != nullptr;
}

void setOpenSettings(std::function<void()> open)
{
    settingsOpener() = std::move(open);
}

void openSettings()
{
    if (settingsOpener())
        settingsOpener()();
}

} // namespace BoardModule
