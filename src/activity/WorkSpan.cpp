#include "activity/WorkSpan.h"

#include "core/Fmt.h"
#include "core/Json.h"

#include <QJsonDocument>
#include <QJsonParseError>

QJsonObject WorkSpan::toJson() const
{
    QJsonObject o;
    Json::put(o, "start", start);
    Json::put(o, "end", end);
    Json::put(o, "app", app);
    Json::put(o, "title", title);
    return o;
}

WorkSpan WorkSpan::fromJson(const QJsonObject& object)
{
    const Json::Reader r(object);
    return WorkSpan{r.get<QDateTime>("start"), r.get<QDateTime>("end"), r.get<QString>("app"), r.opt<QString>("title")};
}

QJsonObject WorkSpan::dict() const
{
    return QJsonObject{
        {QStringLiteral("start"), Fmt::iso(start)},
        {QStringLiteral("end"), Fmt::iso(end)},
        {QStringLiteral("app"), app},
        {QStringLiteral("title"), title ? QJsonValue(*title) : QJsonValue(QJsonValue::Null)},
    };
}

QByteArray WorkSpan::encodeDay(const std::vector<WorkSpan>& spans)
{
    QByteArray text;
    for (const WorkSpan& span : spans) {
        QByteArray line = QJsonDocument(span.toJson()).toJson(QJsonDocument::Compact);
        // Compact JSON has "/" only inside strings, so escaping every one is safe;
        // the files have always been written with "\/".
        line.replace("/", "\\/");
        text += line;
        text += '\n';
    }
    return text;
}

std::vector<WorkSpan> WorkSpan::decodeDay(const QByteArray& text)
{
    std::vector<WorkSpan> spans;
    for (const QByteArray& line : text.split('\n')) {
        if (line.isEmpty())
            continue;
        QJsonParseError error{};
        const QJsonDocument doc = QJsonDocument::fromJson(line, &error);
        if (error.error != QJsonParseError::NoError || !doc.isObject())
            continue;
        try {
            spans.push_back(fromJson(doc.object()));
        } catch (const Json::DecodeError&) {
        }
    }
    return spans;
}
