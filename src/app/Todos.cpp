// The to-dos of every connected workspace, their Start and Done buttons, and the
// openers the menu's rows use: a project's board and the platform's pages.
#include "app/AppController.h"

#include "core/APIError.h"
#include "core/Log.h"
#include "core/Strings.h"
#include "core/Url.h"

void AppController::refreshTodos(bool quiet)
{
    // The store applies only its latest refresh; an older answer that lands
    // later is dropped there, and its continuation below does nothing.
    const quint64 generation = ++todoGeneration_;
    todos->refresh(accounts.connected()).then(todos.get(), [weak = weak_from_this(), generation, quiet] {
        auto self = weak.lock();
        if (!self || self->todoGeneration_ != generation)
            return;
        if (!quiet) {
            if (self->todos->needsUpdate())
                slog(QStringLiteral("todos: needs an update (404)"));
            else if (const auto& error = self->todos->error())
                slog(QStringLiteral("todos: ") + Log::oneLine(*error));
        }
        self->rebuildMenu();
    });
}

void AppController::todoAction(const Todo& todo, bool start)
{
    const std::optional<Workspace> target = todo.ws ? todo.ws : accounts.home();
    const std::optional<API> api = target ? accounts.apiFor(target) : std::nullopt;
    if (!api)
        return;
    auto failure = std::make_shared<std::optional<QString>>();
    background(
        Lane::network,
        [api = *api, id = todo.id, start, failure] {
            try {
                if (start)
                    api.startTodo(id);
                else
                    api.finishTodo(id);
            } catch (const APIError& e) {
                *failure = e.isMissing() ? QStringLiteral("This workspace needs an update.") : e.description();
            } catch (const std::exception& e) {
                *failure = QString::fromUtf8(e.what());
            }
        },
        [todo, start, failure](AppController& c) {
            if (!*failure) {
                slog(QStringLiteral("todo ") + (start ? QStringLiteral("start") : QStringLiteral("finish")) + u' '
                     + Log::oneLine(todo.id));
            } else {
                c.ports_.nudges->show({
                    .kind = QStringLiteral("todo"),
                    .priority = 1,
                    .icon = QStringLiteral("/"),
                    .title = QStringLiteral("Couldn’t update “") + cut(todo.title, 40) + QStringLiteral("”"),
                    .message = **failure,
                    .timeout = 8,
                });
            }
            c.refreshTodos(true);
        });
}

void AppController::openBoard(const std::optional<Workspace>& ws)
{
    std::optional<Url> url = ws ? ws->link(QStringLiteral("board")) : std::nullopt;
    if (!url)
        url = accounts.boardURL();
    if (url)
        ports_.board->open(url->toQUrl());
}

void AppController::openPlatform(const QString& path)
{
    // Built on the cleaned base, so a base typed with a trailing "/" gives no "//".
    const auto url = Url::parse(settings.platformAddress() + path);
    if (url && url->hasScheme() && url->host() && !url->host()->isEmpty())
        ports_.board->open(url->toQUrl());
}
