#pragma once

#include "core/API.h"
#include "core/Todo.h"
#include "core/Workspace.h"

#include <QDateTime>
#include <QFuture>
#include <QObject>
#include <QString>
#include <QStringList>
#include <optional>
#include <utility>
#include <vector>

// The person's to-dos from every connected workspace. The workspaces are asked
// a few at a time on the network pool; the answers are merged on the main thread in the
// targets' order. A workspace that fails keeps the items it had, so one
// unreachable server does not empty the list. Main thread only.
class TodoStore : public QObject {
    Q_OBJECT

public:
    using Targets = std::vector<std::pair<Workspace, API>>;
    // How many workspaces are asked at once.
    static constexpr int concurrency = 4;

    explicit TodoStore(QObject* parent = nullptr);

    // Grouped by target in the targets' order, each in the server's order; every
    // item names its workspace.
    const std::vector<Todo>& items() const { return items_; }
    // Every target answered 404: no server offers to-dos.
    bool needsUpdate() const { return needsUpdate_; }
    // Names of the workspaces whose server answered 404, in the targets' order.
    const QStringList& outdated() const { return outdated_; }
    // "name: description" of each failed workspace, joined with "; ".
    const std::optional<QString>& error() const { return error_; }
    // When the last refresh with at least one target was applied.
    const std::optional<QDateTime>& loaded() const { return loaded_; }

    // Reloads from the targets. The future finishes once the answers are applied
    // (never with an error). Only the latest refresh applies: one that finishes
    // after a newer one started is dropped.
    QFuture<void> refresh(const Targets& targets);

private:
    struct Result;
    void apply(const Targets& targets, std::vector<Result> results);

    std::vector<Todo> items_;
    bool needsUpdate_ = false;
    QStringList outdated_;
    std::optional<QString> error_;
    std::optional<QDateTime> loaded_;
    QStringList servers_;
    quint64 generation_ = 0;
};
