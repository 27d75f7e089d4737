#include "core/Workspace.h"

#include "core/Address.h"
#include "core/Json.h"

#include <QHashFunctions>

Workspace::Workspace(const QString& name, const QString& server)
    : id(QUuid::createUuid())
    , name(name)
    , server(server)
{
}

QString Workspace::base() const
{
    return Address::clean(server);
}

bool Workspace::isLocal() const
{
    return Address::isLocal(base());
}

std::optional<Url> Workspace::link(const QString& path) const
{
    auto url = Url::parse(base() + QStringLiteral("/#/") + path);
    if (!url || !url->hasScheme())
        return std::nullopt;
    return url;
}

QJsonObject Workspace::toJson() const
{
    QJsonObject o;
    Json::put(o, "id", id.toString(QUuid::WithoutBraces).toUpper());
    Json::put(o, "name", name);
    Json::put(o, "server", server);
    Json::put(o, "slug", slug);
    Json::put(o, "seat", seat);
    Json::put(o, "apiRoot", apiRoot);
    return o;
}

Workspace Workspace::fromJson(const QJsonObject& object)
{
    const Json::Reader r(object);
    Workspace ws;
    const QString idText = r.get<QString>("id");
    ws.id = QUuid::fromString(idText);
    if (ws.id.isNull() && idText != QStringLiteral("00000000-0000-0000-0000-000000000000"))
        throw Json::DecodeError("id: expected a UUID");
    ws.name = r.get<QString>("name");
    ws.server = r.get<QString>("server");
    ws.slug = r.opt<QString>("slug");
    ws.seat = r.opt<QString>("seat");
    ws.apiRoot = r.opt<QString>("apiRoot");
    return ws;
}

size_t qHash(const Workspace& ws, size_t seed)
{
    QtPrivate::QHashCombine combine;
    seed = combine(seed, ws.id);
    seed = combine(seed, ws.name);
    seed = combine(seed, ws.server);
    for (const auto* field : {&ws.slug, &ws.seat, &ws.apiRoot}) {
        seed = combine(seed, field->has_value() ? 1 : 0);
        if (*field)
            seed = combine(seed, **field);
    }
    return seed;
}
