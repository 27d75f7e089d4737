#include "session/SessionMeta.h"

#include "core/Fmt.h"
#include "core/Json.h"

#include <QJsonArray>
#include <algorithm>

namespace {

QStringList stringList(const QJsonObject& o, const char* key)
{
    QStringList out;
    for (const QString& s : Json::Reader(o).get<std::vector<QString>>(key))
        out << s;
    return out;
}

QJsonArray stringArray(const QStringList& list)
{
    QJsonArray out;
    for (const QString& s : list)
        out.append(s);
    return out;
}

// File names come back from disk and are joined to the session folder: one that
// is absolute or climbs out with ".." could make us read, upload or overwrite a
// file elsewhere.
QString relativeName(const char* key, const QString& name)
{
    const bool escapes = name.isEmpty() || name.startsWith(u'/') || name.contains(u'\\')
        || name.split(u'/').contains(QStringLiteral(".."));
    if (escapes)
        throw Json::DecodeError(std::string(key) + ": not a file inside the session folder");
    return name;
}

} // namespace

QJsonObject ShotMeta::toJson() const
{
    QJsonObject o;
    Json::put(o, "t", t);
    Json::put(o, "file", file);
    return o;
}

ShotMeta ShotMeta::fromJson(const QJsonObject& o)
{
    Json::Reader r(o);
    return {r.get<double>("t"), relativeName("file", r.get<QString>("file"))};
}

QJsonObject PinMeta::toJson() const
{
    QJsonObject o;
    Json::put(o, "t", t);
    Json::put(o, "note", note);
    Json::put(o, "file", file);
    Json::put(o, "auto", autoPin);
    Json::put(o, "textOnly", textOnly);
    return o;
}

PinMeta PinMeta::fromJson(const QJsonObject& o)
{
    Json::Reader r(o);
    return {r.get<double>("t"), r.get<QString>("note"), relativeName("file", r.get<QString>("file")),
            r.opt<bool>("auto"), r.opt<bool>("textOnly")};
}

QJsonObject Span::dict() const
{
    QJsonObject o;
    Json::put(o, "t", t);
    Json::put(o, "end", end);
    return o;
}

Span Span::fromJson(const QJsonObject& o)
{
    Json::Reader r(o);
    return {r.get<double>("t"), r.get<double>("end")};
}

QJsonObject OcrEntry::dict() const
{
    QJsonObject o;
    Json::put(o, "t", t);
    Json::put(o, "app", app);
    Json::put(o, "text", text);
    return o;
}

OcrEntry OcrEntry::fromJson(const QJsonObject& o)
{
    Json::Reader r(o);
    return {r.get<double>("t"), r.get<QString>("app"), r.get<QString>("text")};
}

QJsonObject AppSpan::toJson() const
{
    QJsonObject o;
    Json::put(o, "t", t);
    Json::put(o, "end", end);
    Json::put(o, "app", app);
    Json::put(o, "title", title);
    return o;
}

QJsonObject AppSpan::dict() const
{
    QJsonObject o = toJson();
    if (!title)
        o.insert(QStringLiteral("title"), QJsonValue::Null);
    return o;
}

AppSpan AppSpan::fromJson(const QJsonObject& o)
{
    Json::Reader r(o);
    return {r.get<double>("t"), r.get<double>("end"), r.get<QString>("app"), r.opt<QString>("title")};
}

void AppSpan::merge(std::vector<AppSpan>& spans, double t, const QString& app, const std::optional<QString>& title,
                    double gap)
{
    if (!spans.empty()) {
        AppSpan& last = spans.back();
        if (last.app == app && last.title == title && t - last.end <= gap) {
            last.end = std::max(last.end, t);
            return;
        }
        if (last.end < t)
            last.end = t;
    }
    spans.push_back({t, t, app, title});
}

QJsonObject Routed::dict() const
{
    QJsonObject o;
    Json::put(o, "score", score);
    o.insert(QStringLiteral("reasons"), stringArray(reasons));
    Json::put(o, "auto", autoFiled);
    return o;
}

Routed Routed::fromJson(const QJsonObject& o)
{
    Json::Reader r(o);
    return {r.get<double>("score"), stringList(o, "reasons"), r.get<bool>("auto")};
}

bool SessionMeta::isCall() const
{
    const QString effective = kind ? *kind : (fromCall || callApp ? QStringLiteral("call") : QStringLiteral("session"));
    return effective == QLatin1String("call");
}

QJsonObject SessionMeta::toJson() const
{
    QJsonObject o;
    Json::put(o, "title", title);
    Json::put(o, "app", app);
    Json::put(o, "started", started);
    Json::put(o, "ended", ended);
    o.insert(QStringLiteral("participants"), stringArray(participants));
    if (workspaceID)
        o.insert(QStringLiteral("workspaceID"), workspaceID->toString(QUuid::WithoutBraces).toUpper());
    Json::put(o, "micOk", micOk);
    Json::put(o, "shots", shots);
    Json::put(o, "pins", pins);
    Json::put(o, "levelsMic", levelsMic);
    Json::put(o, "levelsTab", levelsTab);
    Json::put(o, "audioFile", audioFile);
    Json::put(o, "fromCall", fromCall);
    Json::put(o, "kind", kind);
    Json::put(o, "callApp", callApp);
    Json::put(o, "ocr", ocr);
    Json::put(o, "apps", apps);
    Json::put(o, "routed", routed);
    Json::put(o, "routeDone", routeDone);
    Json::put(o, "personal", personal);
    Json::put(o, "waitingPersonal", waitingPersonal);
    Json::put(o, "callId", callId);
    Json::put(o, "audioUploaded", audioUploaded);
    Json::put(o, "processed", processed);
    Json::put(o, "lastError", lastError);
    Json::put(o, "uploadedServer", uploadedServer);
    Json::put(o, "idempotencyKey", idempotencyKey);
    Json::put(o, "micOffset", micOffset);
    Json::put(o, "systemOffset", systemOffset);
    return o;
}

SessionMeta SessionMeta::fromJson(const QJsonObject& o)
{
    Json::Reader r(o);
    SessionMeta m;
    m.title = r.get<QString>("title");
    m.app = r.get<QString>("app");
    m.started = r.get<QDateTime>("started");
    m.ended = r.opt<QDateTime>("ended");
    m.participants = stringList(o, "participants");
    if (const auto id = r.opt<QString>("workspaceID")) {
        const QUuid uuid = QUuid::fromString(*id);
        if (id->size() != 36 || uuid.isNull())
            throw Json::DecodeError("workspaceID: expected a UUID");
        m.workspaceID = uuid;
    }
    m.micOk = r.get<bool>("micOk");
    m.shots = r.get<std::vector<ShotMeta>>("shots");
    m.pins = r.get<std::vector<PinMeta>>("pins");
    m.levelsMic = r.get<std::vector<Span>>("levelsMic");
    m.levelsTab = r.get<std::vector<Span>>("levelsTab");
    if (const auto file = r.opt<QString>("audioFile"))
        m.audioFile = relativeName("audioFile", *file);
    m.fromCall = r.get<bool>("fromCall");
    m.kind = r.opt<QString>("kind");
    m.callApp = r.opt<QString>("callApp");
    m.ocr = r.opt<std::vector<OcrEntry>>("ocr");
    m.apps = r.opt<std::vector<AppSpan>>("apps");
    m.routed = r.opt<Routed>("routed");
    m.routeDone = r.opt<bool>("routeDone");
    m.personal = r.opt<bool>("personal");
    m.waitingPersonal = r.opt<bool>("waitingPersonal");
    m.callId = r.opt<QString>("callId");
    m.audioUploaded = r.get<bool>("audioUploaded");
    m.processed = r.get<bool>("processed");
    m.lastError = r.opt<QString>("lastError");
    m.uploadedServer = r.opt<QString>("uploadedServer");
    m.idempotencyKey = r.opt<QString>("idempotencyKey");
    m.micOffset = r.opt<double>("micOffset");
    m.systemOffset = r.opt<double>("systemOffset");
    return m;
}
