#pragma once

#include "session/Session.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <QUuid>
#include <memory>
#include <optional>
#include <vector>

// One pin waiting in the queue: its image is `file` in the pins folder.
struct QueuedPin {
    QDateTime at;
    QString note;
    QString file;
    std::optional<bool> textOnly; // true for a note card; never stored as false

    QJsonObject toJson() const;
    // Strict; a file name that is not a plain name inside the pins folder fails too.
    static QueuedPin fromJson(const QJsonObject& o);
};

// Pins taken while nothing records wait on disk ("queue.json" and one JPEG per
// pin in the pins folder) until they are sent as one session of their own.
// Nothing is cached: every call reads the file again. Calls are serialised
// within the process, so any thread may make them; they do small blocking file work.
namespace PinQueue {

QString path();
// In queue order; empty when the file is missing or does not decode.
std::vector<QueuedPin> all();
int count();
// Stores the image and appends its entry; failures are logged ("queue pin: …").
// A queue file that does not decode is first kept as "queue.json.bad" (".bad.2"…).
void add(const QByteArray& jpeg, const QString& note, bool textOnly = false);
// Turns the queue into a new finished session ("Pins · <first pin's time>").
// Nothing when the queue is empty, or when the session could not be made and
// saved; a pin leaves the queue only once the saved session holds it.
std::shared_ptr<Session> toSession(const std::optional<QUuid>& workspace);

} // namespace PinQueue
