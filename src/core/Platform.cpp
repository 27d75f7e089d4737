#include "core/Platform.h"

#include "core/API.h"
#include "core/Clock.h"
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

namespace Platform {

namespace {

// "scheme://authority" lower-cased, or nothing for a reference without both.
std::optional<QString> originOf(const Url& url)
{
    const QString& text = url.text();
    const qsizetype start = text.indexOf(QStringLiteral("://"));
    if (!url.hasScheme() || !url.host() || start < 0)
        return std::nullopt;
    qsizetype end = start + 3;
    while (end < text.size() && text[end] != u'/' && text[end] != u'?' && text[end] != u'#')
        ++end;
    return text.left(end).toLower();
}

std::optional<QString> trimmedName(const QJsonValue& v)
{
    const auto text = API::str(v);
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

bool isLocalHost(const QString& host)
{
    return host == u"127.0.0.1" || host == u"localhost" || host == u"::1" || host.endsWith(u".localhost");
}

} // namespace

QString clean(const QString& text)
{
    QString out = text.trimmed();
    while (out.endsWith(u'/'))
        out.chop(1);
    return out;
}

bool isLocal(const QString& base)
{
    const auto url = Url::parse(clean(base));
    return url && url->host() && isLocalHost(*url->host());
}

std::optional<Url> resolve(const QString& text, const QString& base)
{
    if (auto url = Url::parse(text); url && url->hasScheme())
        return url;
    const QString path = text.startsWith(u'/') ? text : u'/' + text;
    auto url = Url::parse(clean(base) + path);
    // A base without a scheme would give a relative reference, which no
    // caller can open or send.
    if (!url || !url->hasScheme())
        return std::nullopt;
    return url;
}

bool sameOrigin(const Url& url, const QString& base)
{
    const auto baseURL = Url::parse(clean(base));
    const auto a = originOf(url);
    return a && baseURL && a == originOf(*baseURL);
}

const QStringList& devicePaths()
{
    static const QStringList paths{QStringLiteral("/device"), QStringLiteral("/app/api/platform/device")};
    return paths;
}

QUuid projectID(const QString& base, const QString& slug)
{
    const QString text = QStringLiteral("zelvan.project|") + clean(base) + u'|' + slug;
    QByteArray bytes = QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Sha256).left(16);
    bytes[6] = char(0x50 | (quint8(bytes[6]) & 0x0F));
    bytes[8] = char(0x80 | (quint8(bytes[8]) & 0x3F));
    return QUuid::fromRfc4122(bytes);
}

Workspace project(const QString& base, const QString& slug, const QString& name, const std::optional<QString>& seat,
                  bool appPaths)
{
    const QString cleaned = clean(base);
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
        const auto url = webURL(clean(base) + path + QStringLiteral("/start"));
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
    const QString deviceCode = API::str(answer.value(QStringLiteral("device_code"))).value_or(QString());
    const QString userCode = API::str(answer.value(QStringLiteral("user_code"))).value_or(QString());
    if (deviceCode.isEmpty() || userCode.isEmpty())
        return std::nullopt;
    auto text = API::str(answer.value(QStringLiteral("verify_url")));
    if (!text)
        text = API::str(answer.value(QStringLiteral("verification_uri_complete")));
    if (!text)
        text = QStringLiteral("/app/device?code=") + urlComponent(userCode);
    const auto url = resolve(*text, base);
    if (!url)
        return std::nullopt;
    const double interval = std::max(1.0, std::min(30.0, API::number(answer.value(QStringLiteral("interval"))).value_or(3)));
    const double expires = std::max(30.0, API::number(answer.value(QStringLiteral("expires_in"))).value_or(600));
    return DeviceStart{deviceCode, userCode, *url, interval, expires};
}

PollResult poll(const QString& base, const QString& prefix, const QString& deviceCode)
{
    const auto url = webURL(clean(base) + prefix + QStringLiteral("/poll"));
    if (!url)
        return PollResult::failed(QStringLiteral("bad server"));
    try {
        return parsePoll(post(*url, QJsonObject{{QStringLiteral("device_code"), deviceCode}}));
    } catch (const APIError& e) {
        if (e.status() == 403 && e.message().toLower().contains(QStringLiteral("denied")))
            return PollResult::denied();
        if (e.status() == 404 || e.status() == 410)
            return PollResult::expired();
        throw;
    }
}

PollResult parsePoll(const QJsonObject& answer)
{
    const QString status = API::str(answer.value(QStringLiteral("status"))).value_or(QString()).toLower();
    if (status == u"ok" || status == u"approved") {
        const QJsonObject account = answer.value(QStringLiteral("account")).toObject();
        const QString key = API::str(answer.value(QStringLiteral("key"))).value_or(QString());
        const QString email = API::str(account.value(QStringLiteral("email"))).value_or(QString());
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
    if (auto error = API::str(answer.value(QStringLiteral("error"))))
        return PollResult::failed(*error);
    return PollResult::failed(QStringLiteral("unexpected status \u201C") + status + QStringLiteral("\u201D"));
}

Account me(const QString& base, const QString& key)
{
    const API client(clean(base), key);
    std::optional<Account> parsed;
    try {
        parsed = parseMe(client.json(QStringLiteral("GET"), QStringLiteral("/api/v1/me"), std::nullopt, 20), base);
    } catch (const APIError& e) {
        if (e.status() != 404 || !isLocal(base))
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
    const QString email = API::str(account.value(QStringLiteral("email"))).value_or(QString());
    if (email.isEmpty())
        return std::nullopt;

    const QString cleaned = clean(base);
    QString personalRoot = cleaned + (appPaths ? QStringLiteral("/app/api/platform/personal") : QStringLiteral("/api/v1/personal"));
    const QJsonObject personal = answer.value(QStringLiteral("personal")).toObject();
    if (const auto callsURL = API::str(personal.value(QStringLiteral("calls_url")))) {
        if (const auto url = resolve(*callsURL, base)) {
            // The root receives the account key, so it must be the platform's own.
            if (!sameOrigin(*url, base)) {
                slog(QStringLiteral("me: personal library outside the platform ignored (%1)").arg(url->host().value_or(QString())));
            } else {
                const QString text = url->text();
                personalRoot = text.endsWith(QStringLiteral("/calls")) ? text.chopped(6) : clean(text);
            }
        }
    }

    std::vector<Workspace> projects;
    const QJsonValue list = answer.value(QStringLiteral("projects"));
    const QJsonArray entries = list.toArray();
    const bool allObjects = list.isArray()
        && std::all_of(entries.begin(), entries.end(), [](const QJsonValue& v) { return v.isObject(); });
    if (allObjects) {
        QSet<QString> seen;
        for (const QJsonValue& value : entries) {
            const QJsonObject entry = value.toObject();
            const QString slug = API::str(entry.value(QStringLiteral("slug"))).value_or(QString());
            if (slug.isEmpty() || seen.contains(slug))
                continue;
            seen.insert(slug);
            std::optional<QString> seat = API::str(entry.value(QStringLiteral("seat")));
            if (seat)
                seat = seat->toLower();
            if (seat == u"contact" || seat == u"removed")
                continue;
            const QString name = API::str(entry.value(QStringLiteral("name"))).value_or(slug);
            projects.push_back(project(base, slug, name, seat, appPaths));
        }
    }
    return Account{{email, trimmedName(account.value(QStringLiteral("name"))), personalRoot}, std::move(projects)};
}

Approval deviceFlow(const QString& base, const std::function<void(const DeviceStart&)>& onCode, const Pause& pause)
{
    const auto [code, path] = start(base);
    slog(QStringLiteral("sign-in: code ") + code.userCode + QStringLiteral(" via ") + path
         + QStringLiteral("/start, approve at ") + code.verifyURL.text());
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
            slog(QStringLiteral("sign-in poll: ") + e.errorDescription());
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

} // namespace Platform
