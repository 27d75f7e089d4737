#include "board/BoardCheck.h"

#include "board/Board.h"
#include "board/DockPolicy.h"
#include "core/Accounts.h"
#include "core/Log.h"
#include "core/Settings.h"
#include "platform/AppId.h"
#include "platform/Wording.h"

#include <QApplication>
#include <QDir>
#include <QMainWindow>
#include <QPixmap>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>
#include <cstdio>
#include <memory>

namespace BoardLiveCheck {

namespace {

void log(const QString& message)
{
    const QByteArray line = (QStringLiteral("board-check: ") + message).toUtf8() + '\n';
    std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
    std::fflush(stdout);
    slog(QStringLiteral("board-check: ") + message);
}

// The app's presence in the taskbar: it has an entry only while the board
// window is up.
QString policyName(const Board& board)
{
    const bool shown = board.window() && board.window()->isVisible();
    return Wording::shown(DockPolicy::wanted(shown) == DockPolicy::Activation::regular
                              ? QStringLiteral("regular (Dock icon)")
                              : QStringLiteral("accessory (menu bar only)"));
}

QString rectText(const QRect& r)
{
    return QStringLiteral("{{%1, %2}, {%3, %4}}").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
}

QString suiteName()
{
    return QString::fromLatin1(appId) + QStringLiteral(".boardcheck");
}

// A copy of the user's settings (those the app itself would read), so that what
// the board stores while open (its window frame) never reaches them.
std::unique_ptr<QSettings> throwAwayCopy()
{
    std::unique_ptr<QSettings> user = qEnvironmentVariableIsSet("ZELVAN_DEFAULTS_SUITE")
        ? Settings::suite(qEnvironmentVariable("ZELVAN_DEFAULTS_SUITE"))
        : Settings::standard();
    Settings::removeSuite(suiteName());
    auto copy = Settings::suite(suiteName());
    if (copy && user)
        for (const QString& key : user->allKeys())
            copy->setValue(key, user->value(key));
    if (copy)
        copy->sync();
    return copy;
}

} // namespace

int main(int argc, char** argv, const QStringList& args)
{
    (void)argc;
    // Qt sees the program name only; the URL is ours.
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    app.setQuitOnLastWindowClosed(false);

    auto store = throwAwayCopy();
    if (!store) {
        std::fprintf(stderr, "zelvan --board-check: no place for throw-away settings\n");
        return 2;
    }
    // A board profile of its own: a running instance keeps its cookies and its
    // profile lock, and this check leaves no profile behind. Its lines go to the
    // user's log like any other.
    QTemporaryDir profile;
    int code = 0;
    {
        Settings settings(std::move(store));
        Accounts accounts(settings);
        Board board(accounts);
        if (profile.isValid())
            board.profileFolder = profile.path();

        std::optional<QUrl> url;
        const qsizetype at = args.indexOf(QStringLiteral("--board-check"));
        if (at >= 0 && at + 1 < args.size()) {
            const QUrl u(args[at + 1], QUrl::StrictMode);
            if (u.isValid() && !u.scheme().isEmpty())
                url = u;
        }

        log(QStringLiteral("before: ") + policyName(board));
        if (url && url->scheme() == QStringLiteral("zelvan"))
            board.openDeepLink(*url);
        else
            board.show(url);

        QTimer::singleShot(8000, &app, [&] {
            QMainWindow* window = board.window();
            log(QStringLiteral("open: ") + policyName(board) + QStringLiteral(", window ")
                + (window ? rectText(window->frameGeometry()) : QStringLiteral("none")) + QStringLiteral(", title “")
                + (window ? window->windowTitle() : QString()) + QStringLiteral("”"));
            const auto current = board.currentURL();
            log(QStringLiteral("page: ") + (current ? current->host() + current->path() : QStringLiteral("none")));
            if (window) {
                const QString folder = qEnvironmentVariable("ZELVAN_BOARD_SHOT");
                QScreen* screen = window->screen();
                if (qEnvironmentVariableIsSet("ZELVAN_BOARD_SHOT") && screen && window->winId()) {
                    const QPixmap shot = screen->grabWindow(window->winId());
                    if (!shot.isNull()) {
                        shot.save(QDir(folder).filePath(QStringLiteral("board-live.png")), "PNG");
                        log(QStringLiteral("screenshot: board-live.png"));
                    }
                }
                window->close();
            }
            QTimer::singleShot(1000, &app, [&] {
                log(QStringLiteral("closed: ") + policyName(board) + QStringLiteral(", board open ")
                    + (board.isOpen() ? QStringLiteral("true") : QStringLiteral("false")));
                app.quit();
            });
        });
        code = app.exec();
    }
    Settings::removeSuite(suiteName());
    slogFlush();
    return code;
}

} // namespace BoardLiveCheck
