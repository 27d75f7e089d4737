#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <optional>
#include <vector>

// One stretch of the work day with the same application (and window title) in
// front. A day's spans live in one JSON-lines file, oldest first.
struct WorkSpan {
    QDateTime start;
    QDateTime end; // a running span's end lies up to one sample interval ahead
    QString app;   // "(private)" for hidden applications
    std::optional<QString> title;

    // The day file's form: whole-second UTC dates, "title" left out when absent.
    QJsonObject toJson() const;
    static WorkSpan fromJson(const QJsonObject& object);

    // The upload's form: dates with milliseconds, "title" always present (null when absent).
    QJsonObject dict() const;

    // A day file's text: one compact object per line with sorted keys, "/"
    // written as "\/", each line ended by "\n".
    static QByteArray encodeDay(const std::vector<WorkSpan>& spans);
    // The spans of a day file's text; empty and undecodable lines are skipped.
    static std::vector<WorkSpan> decodeDay(const QByteArray& text);

    friend bool operator==(const WorkSpan&, const WorkSpan&) = default;
};
