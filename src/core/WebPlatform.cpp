#include "core/WebPlatform.h"

#include "core/API.h"
#include "core/Address.h"
#include "core/Clock.h"
#include "core/Json.h"
#include "core/Log.h"
#include "core/SignInError.h"
#include "core/Strings.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSet>
#include <algorithm>
#include <chrono>
#include <thread>

namespace WebPlatform {

namespace {

std::optional<QString> trimmedName(const QJsonValue& v)
{
    const auto text = Json::str(v);
    if (!text || text->trimmed().isEmpty())
        return std::nullopt;
    return text->trimmed();
}

// Only web addresses are sent to; anything else is no endpoint at all.
std::optional<Url> webURL(const QString& text)
{
    auto url = Url::parse(text);
    if (!url || !url->host() || url->host()->isEmpty())
        return std::nullopt;
    const QString scheme = url->scheme().toLower();
    if (scheme != u"http" && scheme != u"https")
        return std::nullopt;
    return url;
}

} // namespace

const QStringList& devicePaths()
{
    static const QStringList paths{QStringLiteral("/device"), QStringLiteral("/app/api/platform/device")};
    return paths;
}

QUuid projectID(const QString& base, const QString& slug)
{
    const QString text = QStringLiteral("zelvan.project|") + Address::clean(base) + u'|' + slug;
    QByteArray bytes = QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Sha256).left(16);
    bytes[6] = char(0x50 | (quint8(bytes[6]) & 0x0F));
    bytes[8] = char(0x80 | (quint8(bytes[8]) & 0x3F));
    return QUuid::fromRfc4122(bytes);
}

Workspace project(const QString& base, const QString& slug, const QString& name, const std::optional<QString>& seat,
                  bool appPaths)
{
    const QString cleaned = Address::clean(base);
    const QString s = urlComponent(slug);
    Workspace ws(name.isEmpty() ? slug : name, cleaned + QStringLiteral("/app/p/") + s);
    ws.id = projectID(base, slug);
    ws.slug = slug;
    ws.seat = seat;
    ws.apiRoot = appPaths ? cleaned + QStringLiteral("/app/p/") + s + QStringLiteral("/api")
                          : cleaned + QStringLiteral("/api/v1/p/") + s;
    return ws;
}

QJsonObject post(const Url& url, const QJsonObject& body, double timeout)
{
    Http::Request r;
    r.method = "POST";
    r.url = url.toEncoded();
    r.timeout = timeout;
    r.headers = {
        {"Content-Type", "application/json"},
        {"Accept", "application/json"},
        {"User-Agent", "Zelvan-mac/1.0"},
    };
    r.body = QJsonDocument(body).toJson(QJsonDocument::Compact);
    return API::perform(r);
}

Started start(const QString& base)
{
    APIError failure(0, QStringLiteral("no device endpoint"));
    const QJsonObject body{{QStringLiteral("client"), QStringLiteral("mac")},
                           {QStringLiteral("name"), QStringLiteral("Zelvan for Mac")}};
    for (const QString& path : devicePaths()) {
        const auto url = webURL(Address::clean(base) + path + QStringLiteral("/start"));
        if (!url)
            continue;
        try {
            const QJsonObject answer = post(*url, body);
            if (auto parsed = parseStart(answer, base))
                return {*parsed, path};
            throw APIError(0, QStringLiteral("the sign-in server sent no code"));
        } catch (const APIError& e) {
            if (e.status() != 404 && e.status() != 405)
                throw;
            failure = e;
        }
    }
    throw failure;
}

std::optional<DeviceStart> parseStart(const QJsonObject& answer, const QString& base)
{
    const QString deviceCode = Json::str(answer.value(QStringLiteral("device_code"))).value_or(QString());
    const QString userCode = Json::str(answer.value(QStringLiteral("user_code"))).value_or(QString());
    if (deviceCode.isEmpty() || userCode.isEmpty())
        return std::nullopt;
    auto text = Json::str(answer.value(QStringLiteral("verify_url")));
    if (!text)
        text = Json::str(answer.value(QStringLiteral("verification_uri_complete")));
    if (!text)
        text = QStringLiteral("/app/device?code=") + urlComponent(userCode);
    const auto url = Address::resolve(*text, base);
    if (!url)
        return std::nullopt;
    const double interval = std::max(1.0,
                                     std::min(30.0, Json::number(answer.value(QStringLiteral("interval"))).value_or(3)));
    const double expires = std::max(30.0, Json::number(answer.value(QStringLiteral("expires_in"))).value_or(600));
    return DeviceStart{deviceCode, userCode, *url, interval, expires};
}

PollResult poll(const QString& base, const QString& prefix, const QString& deviceCode)
{
    const auto url = webURL(Address::clean(base) + prefix + QStringLiteral("/poll"));
    if (!url)
        return PollResult::failed(QStringLiteral("bad server"));
    try {
        return parsePoll(post(*url, QJsonObject{{QStringLiteral("device_code"), deviceCode}}));
    } catch (const APIError& e) {
        if (e.status() == 403 && e.reason().toLower().contains(QStringLiteral("denied")))
            return PollResult::denied();
        if (e.status() == 404 || e.status() == 410)
            return PollResult::expired();
        throw;
    }
}

PollResult parsePoll(const QJsonObject& answer)
{
    const QString status = Json::str(answer.value(QStringLiteral("status"))).value_or(QString()).toLower();
    if (status == u"ok" || status == u"approved") {
        const QJsonObject account = answer.value(QStringLiteral("account")).toObject();
        const QString key = Json::str(answer.value(QStringLiteral("key"))).value_or(QString());
        const QString email = Json::str(account.value(QStringLiteral("email"))).value_or(QString());
        if (key.isEmpty() || email.isEmpty())
            return PollResult::failed(QStringLiteral("the server approved the sign-in but sent no key"));
        return PollResult::ok(key, email, trimmedName(account.value(QStringLiteral("name"))));
    }
    if (status == u"pending" || status.isEmpty())
        return PollResult::pending();
    if (status == u"expired")
        return PollResult::expired();
    if (status == u"denied" || status == u"rejected")
        return PollResult::denied();
    if (auto error = Json::str(answer.value(QStringLiteral("error"))))
        return PollResult::failed(*error);
    return PollResult::failed(QStringLiteral("unexpected status \u201C") + status + QStringLiteral("\u201D"));
}

Account me(const QString& base, const QString& key)
{
    const API client(Address::clean(base), key);
    std::optional<Account> parsed;
    try {
        parsed = parseMe(client.json(QStringLiteral("GET"), QStringLiteral("/api/v1/me"), std::nullopt, 20), base);
    } catch (const APIError& e) {
        if (e.status() != 404 || !Address::isLocal(base))
            throw;
        slog(QStringLiteral("me: /api/v1/me 404 on a local platform -> /app/api/platform/me (dev fallback)"));
        parsed = parseMe(client.json(QStringLiteral("GET"), QStringLiteral("/app/api/platform/me"), std::nullopt, 20),
                         base, true);
    }
    if (!parsed)
        throw APIError(0, QStringLiteral("no account in /api/v1/me"));
    return *parsed;
}

std::optional<Account> parseMe(const QJsonObject& answer, const QString& base, bool appPaths)
{
    const QJsonValue accountValue = answer.value(QStringLiteral("account"));
    if (!accountValue.isObject())
        return std::nullopt;
    const QJsonObject account = accountValue.toObject();
    const QString email = Json::str(account.value(QStringLiteral("email"))).value_or(QString());
    if (email.isEmpty())
        return std::nullopt;

    const QString cleaned = Address::clean(base);
    QString personalRoot = cleaned
        + (appPaths ? QStringLiteral("/app/api/platform/personal") : QStringLiteral("/api/v1/personal"));
    const QJsonObject personal = answer.value(QStringLiteral("personal")).toObject();
    if (const auto callsURL = Json::str(personal.value(QStringLiteral("calls_url")))) {
        if (const auto url = Address::resolve(*callsURL, base)) {
            // The root receives the account key, so it must be the platform's own.
            if (!Address::sameOrigin(*url, base)) {
                slog(QStringLiteral("me: personal library outside the platform ignored (%1)")
                         .arg(Log::oneLine(url->host().value_or(QString()))));
            } else {
                const QString text = url->text();
                personalRoot = text.endsWith(QStringLiteral("/calls")) ? text.chopped(6) : Address::clean(text);
            }
        }
    }

    std::vector<Workspace> projects;
    qsizetype dropped = 0;
    const QJsonValue list = answer.value(QStringLiteral("projects"));
    const QJsonArray entries = list.toArray();
    const bool allObjects = list.isArray()
        && std::all_of(entries.begin(), entries.end(), [](const QJsonValue& v) { return v.isObject(); });
    if (allObjects) {
        QSet<QString> seen;
        for (const QJsonValue& value : entries) {
            const QJsonObject entry = value.toObject();
            const QString slug = Json::str(entry.value(QStringLiteral("slug"))).value_or(QString());
            if (slug.isEmpty() || seen.contains(slug))
                continue;
            seen.insert(slug);
            std::optional<QString> seat = Json::str(entry.value(QStringLiteral("seat")));
            if (seat)
                seat = seat->toLower();
            if (seat == u"contact" || seat == u"removed")
                continue;
            const QString name = Json::str(entry.value(QStringLiteral("name"))).value_or(slug);
            if (projects.size() == size_t(maxProjects)) {
                ++dropped;
                continue;
            }
            projects.push_back(project(base, slug, name, seat, appPaths));
        }
    }
    if (dropped > 0)
        slog(QStringLiteral("me: %1 projects beyond the first %2 left out").arg(dropped).arg(maxProjects));
    return Account{{email, trimmedName(account.value(QStringLiteral("name"))), personalRoot}, std::move(projects)};
}

Approval deviceFlow(const QString& base, const std::function<void(const DeviceStart&)>& onCode, const Pause& pause)
{
    const auto [code, path] = start(base);
    slog(QStringLiteral("sign-in: code ") + Log::oneLine(code.userCode) + QStringLiteral(" via ") + path
         + QStringLiteral("/start, approve at ") + Log::oneLine(code.verifyURL.text()));
    if (onCode)
        onCode(code);
    const double deadline = Clock::current().uptime() + std::min(code.expires, 900.0);
    const Pause wait = pause ? pause : [](double seconds) {
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
        return true;
    };
    for (;;) {
        if (!wait(code.interval))
            throw Cancelled();
        if (Clock::current().uptime() > deadline)
            throw SignInError(SignInError::expired);
        PollResult result;
        try {
            result = poll(base, path, code.deviceCode);
        } catch (const APIError& e) {
            slog(QStringLiteral("sign-in poll: ") + Log::oneLine(e.description()));
            continue;
        }
        switch (result.kind) {
        case PollResult::Kind::ok:
            return {result.key, result.email, result.name};
        case PollResult::Kind::pending:
            break;
        case PollResult::Kind::expired:
            throw SignInError(SignInError::expired);
        case PollResult::Kind::denied:
            throw SignInError(SignInError::declined);
        case PollResult::Kind::failed:
            throw SignInError(result.message);
        }
    }
}

} // namespace WebPlatform
