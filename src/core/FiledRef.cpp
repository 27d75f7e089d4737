#include "core/FiledRef.h"

#include "core/Json.h"

#include <QTimeZone>
#include <cmath>

namespace {

constexpr qint64 referenceMSecs = 978307200000; // 2001-01-01T00:00:00Z

} // namespace

QJsonObject FiledRef::toJson(Dates dates) const
{
    QJsonObject o;
    Json::put(o, "id", id);
    Json::put(o, "title", title);
    Json::put(o, "dest", dest);
    if (dates == Dates::sinceReference)
        Json::put(o, "at", double(at.toMSecsSinceEpoch() - referenceMSecs) / 1000.0);
    else
        Json::put(o, "at", at);
    return o;
}

FiledRef FiledRef::fromJson(const QJsonObject& object, Dates dates)
{
    const Json::Reader r(object);
    FiledRef ref;
    ref.id = r.get<QString>("id");
    ref.title = r.get<QString>("title");
    ref.dest = r.get<QString>("dest");
    if (dates == Dates::sinceReference) {
        const double seconds = r.get<double>("at");
        // Far beyond any real filing date; also keeps the conversion defined.
        if (!std::isfinite(seconds) || std::abs(seconds) > 1e11)
            throw Json::DecodeError("at: date out of range");
        ref.at = QDateTime::fromMSecsSinceEpoch(referenceMSecs + std::llround(seconds * 1000.0), QTimeZone::utc());
    } else {
        ref.at = r.get<QDateTime>("at");
    }
    return ref;
}
