#include "activity/TodoStore.h"

#include "core/Clock.h"
#include "core/Net.h"

#include <QCoreApplication>
#include <QPointer>
#include <QPromise>
#include <memory>
#include <mutex>
#include <variant>

struct TodoStore::Result {
    struct Missing {};
    // The to-dos, the failure's message, or the server lacks the endpoint.
    std::variant<std::vector<Todo>, QString, Missing> value = Missing{};
};

TodoStore::TodoStore(QObject* parent)
    : QObject(parent)
{
}

QFuture<void> TodoStore::refresh(const Targets& targets)
{
    const quint64 generation = ++generation_;
    auto promise = std::make_shared<QPromise<void>>();
    promise->start();
    QFuture<void> future = promise->future();
    if (targets.empty()) {
        items_.clear();
        needsUpdate_ = false;
        outdated_.clear();
        error_.reset();
        servers_.clear();
        promise->finish();
        return future;
    }
    QStringList servers;
    for (const auto& target : targets)
        servers << target.second.server();
    // To-dos of a different set of servers are never kept.
    if (servers != servers_)
        items_.clear();
    servers_ = servers;

    // One slot per target, filled as the answers come, by a few askers that share
    // the one copy of the targets.
    struct Gather {
        Targets targets;
        std::mutex mutex;
        std::vector<Result> results;
    };
    auto gather = std::make_shared<Gather>();
    gather->targets = targets;
    gather->results.resize(targets.size());
    QPointer<TodoStore> self(this);
    Net::each(
        targets.size(), concurrency,
        [gather](size_t i) {
            const auto& [ws, api] = gather->targets[i];
            Result r;
            try {
                std::vector<Todo> todos = api.todos();
                for (Todo& todo : todos)
                    todo.ws = ws;
                r.value = std::move(todos);
            } catch (const APIError& e) {
                if (e.isMissing())
                    r.value = Result::Missing{};
                else
                    r.value = ws.name + QStringLiteral(": ") + e.description();
            } catch (const std::exception& e) {
                r.value = ws.name + QStringLiteral(": ") + QString::fromUtf8(e.what());
            }
            std::lock_guard lock(gather->mutex);
            gather->results[i] = std::move(r);
        },
        [self, generation, gather, promise] {
            QMetaObject::invokeMethod(
                QCoreApplication::instance(),
                [self, generation, gather, promise] {
                    if (self && self->generation_ == generation)
                        self->apply(gather->targets, std::move(gather->results));
                    promise->finish();
                },
                Qt::QueuedConnection);
        });
    return future;
}

void TodoStore::apply(const Targets& targets, std::vector<Result> results)
{
    std::vector<Todo> items;
    QStringList missing;
    QStringList failures;
    for (size_t i = 0; i < targets.size(); ++i) {
        const Workspace& ws = targets[i].first;
        if (auto* todos = std::get_if<std::vector<Todo>>(&results[i].value)) {
            items.insert(items.end(), todos->begin(), todos->end());
        } else if (auto* message = std::get_if<QString>(&results[i].value)) {
            failures << *message;
            for (const Todo& known : items_)
                if (known.ws && known.ws->id == ws.id)
                    items.push_back(known);
        } else {
            missing << ws.name;
        }
    }
    items_ = std::move(items);
    needsUpdate_ = missing.size() == qsizetype(targets.size());
    outdated_ = missing;
    error_ = failures.isEmpty() ? std::nullopt : std::optional(failures.join(QStringLiteral("; ")));
    loaded_ = Clock::current().now();
}
