#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QString>

// Where the last finished session was filed, so that it can be moved or opened again.
struct FiledRef {
    // How `at` is written: ISO 8601 text like every file, or the number of
    // seconds since 2001-01-01 00:00:00 UTC that the stored preference uses.
    enum class Dates { iso, sinceReference };

    // The one name of the personal destination.
    static inline const QString personal = QStringLiteral("personal");

    QString id;    // the server's id of the filed call
    QString title; // the session title shown to the user
    QString dest;  // `personal` or a project slug
    QDateTime at;  // when it was filed

    QJsonObject toJson(Dates dates = Dates::iso) const;
    static FiledRef fromJson(const QJsonObject& object, Dates dates = Dates::iso);

    friend bool operator==(const FiledRef&, const FiledRef&) = default;
};
