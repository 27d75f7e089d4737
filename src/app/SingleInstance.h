#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

// One running zelvan per support folder. The first process takes a lock file in
// the runtime folder (created exclusively, so two launches at the same moment
// cannot both win) and listens on a local socket beside it; a later process hands
// its URLs, or "reopen", to the first and leaves.
class SingleInstance : public QObject {
    Q_OBJECT

public:
    // Takes the lock, or hands `messages` to the instance holding it. Nothing when
    // the message was handed over (or could not be): the caller exits.
    static std::unique_ptr<SingleInstance> claim(const QStringList& messages);

    // Messages from later launches, one per line, on the main thread.
    std::function<void(const QString& message)> onMessage;

    // The lock and socket names for the current support folder.
    static QString lockPath();
    static QString socketPath();

private:
    SingleInstance() = default;
    bool listen();

    std::unique_ptr<QLockFile> lock_;
    QLocalServer server_;
};
