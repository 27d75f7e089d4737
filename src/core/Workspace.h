#pragma once

#include "core/Url.h"

#include <QJsonObject>
#include <QString>
#include <QUuid>
#include <functional>
#include <optional>

// One place the app files recordings to and talks to over REST: a project of the
// signed-in platform account (it has a slug) or a self-hosted legacy server.
struct Workspace {
    QUuid id;
    QString name;
    QString server; // as it came; read `base()` to build addresses
    std::optional<QString> slug;
    std::optional<QString> seat;
    std::optional<QString> apiRoot; // replaces the "/api" prefix of REST paths

    // A fresh random id, no slug, seat or API root; the server text unchanged.
    Workspace(const QString& name, const QString& server);

    bool isProject() const { return slug.has_value(); }
    // The server trimmed and without trailing "/"; case, path, port and query stay.
    QString base() const;
    bool isLocal() const;
    // base + "/#/" + path, when that is an absolute URL. The path is appended as
    // it is; callers encode their own pieces.
    std::optional<Url> link(const QString& path) const;

    QJsonObject toJson() const;
    static Workspace fromJson(const QJsonObject& object);

    friend bool operator==(const Workspace&, const Workspace&) = default;

private:
    Workspace() = default;
};

size_t qHash(const Workspace& ws, size_t seed = 0);

template <>
struct std::hash<Workspace> {
    size_t operator()(const Workspace& ws) const { return qHash(ws); }
};
