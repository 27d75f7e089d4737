#include "board/AppSession.h"

#include "board/WebHosts.h"
#include "core/API.h"
#include "core/Address.h"
#include "core/Json.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace AppSession {

namespace {

// The account key travels over plain http only to this machine (a development server).
bool plainToAnotherMachine(const QString& base)
{
    const QString b = Address::clean(base);
    return QUrl(b).scheme() == QStringLiteral("http") && !Address::isLocal(b);
}

} // namespace

std::optional<Http::Request> build(const QString& base, const QString& key, const std::optional<QString>& next)
{
    const QString b = Address::clean(base);
    const QUrl endpoint(b + QStringLiteral("/auth/app-session"), QUrl::StrictMode);
    const QString scheme = endpoint.scheme();
    if (key.isEmpty() || !endpoint.isValid() || endpoint.host().isEmpty()
        || (scheme != QStringLiteral("http") && scheme != QStringLiteral("https")) || plainToAnotherMachine(b))
        return std::nullopt;
    QJsonObject body{{"client", "mac"}};
    if (next)
        body.insert("next", *next);
    Http::Request r;
    r.method = "POST";
    r.url = endpoint.toEncoded();
    r.headers = {{"Authorization", "Bearer " + key.toUtf8()},
                 {"Content-Type", "application/json"},
                 {"Accept", "application/json"},
                 {"Origin", b.toUtf8()},
                 {"User-Agent", "Zelvan-mac/1.0"}};
    r.body = QJsonDocument(body).toJson(QJsonDocument::Compact);
    r.timeout = 15;
    r.followRedirects = false;
    return r;
}

Result request(const QString& base, const QString& key, const std::optional<QString>& next)
{
    const auto r = build(base, key, next);
    if (!r && !key.isEmpty() && plainToAnotherMachine(base))
        return Result::failed(QStringLiteral("refused: plain http to another machine"));
    if (!r)
        return Result::failed(QStringLiteral("not signed in"));
    try {
        // A session of its own: nothing shared with the other platform calls.
        const Http::Session session(Http::Limits{.requestTimeout = 15, .resourceTimeout = 60});
        const Http::Response answer = session.send(*r);
        return parse(answer.status, answer.body, base);
    } catch (const Http::Failure& failure) {
        return Result::failed(failure.description());
    } catch (const std::exception& e) {
        return Result::failed(QString::fromUtf8(e.what()));
    }
}

Result parse(int status, const QByteArray& data, const QString& base)
{
    if (status >= 200 && status <= 299) {
        const QJsonDocument doc = QJsonDocument::fromJson(data);
        std::optional<QString> text;
        if (doc.isObject() && !doc.object().isEmpty()) {
            const QJsonValue url = doc.object().value("url");
            if (!url.isBool())
                text = Json::str(url);
        }
        if (const auto url = WebHosts::validAppSessionURL(text, base))
            return Result::link(*url);
        return Result::failed(QStringLiteral("no usable url in the answer"));
    }
    if (status == 404 || status == 405)
        return Result::notYet(status);
    if (status == 401 || status == 403)
        return Result::refused(status);
    return Result::failed(QStringLiteral("HTTP ") + QString::number(status));
}

} // namespace AppSession
