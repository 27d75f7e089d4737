#include "core/API.h"

#include "core/Address.h"
#include "core/Json.h"
#include "core/Strings.h"

#include <QJsonDocument>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace {

// The standard text of an HTTP status, for errors whose answer says nothing better.
QString statusText(qint64 status)
{
    switch (status) {
    case 400:
        return QStringLiteral("bad request");
    case 401:
        return QStringLiteral("unauthorized");
    case 402:
        return QStringLiteral("payment required");
    case 403:
        return QStringLiteral("forbidden");
    case 404:
        return QStringLiteral("not found");
    case 405:
        return QStringLiteral("method not allowed");
    case 406:
        return QStringLiteral("unacceptable");
    case 407:
        return QStringLiteral("proxy authentication required");
    case 408:
        return QStringLiteral("request timed out");
    case 409:
        return QStringLiteral("conflict");
    case 410:
        return QStringLiteral("no longer exists");
    case 411:
        return QStringLiteral("length required");
    case 412:
        return QStringLiteral("precondition failed");
    case 413:
        return QStringLiteral("request too large");
    case 414:
        return QStringLiteral("requested URL too long");
    case 415:
        return QStringLiteral("unsupported media type");
    case 416:
        return QStringLiteral("requested range not satisfiable");
    case 417:
        return QStringLiteral("expectation failed");
    case 422:
        return QStringLiteral("unprocessable entity");
    case 429:
        return QStringLiteral("too many requests");
    case 500:
        return QStringLiteral("internal server error");
    case 501:
        return QStringLiteral("unimplemented");
    case 502:
        return QStringLiteral("bad gateway");
    case 503:
        return QStringLiteral("service unavailable");
    case 504:
        return QStringLiteral("gateway timed out");
    case 505:
        return QStringLiteral("unsupported version");
    default:
        break;
    }
    if (status >= 100 && status < 200)
        return QStringLiteral("informational");
    if (status >= 200 && status < 300)
        return QStringLiteral("success");
    if (status >= 300 && status < 400)
        return QStringLiteral("redirected");
    if (status >= 400 && status < 500)
        return QStringLiteral("client error");
    return QStringLiteral("server error");
}

bool isGatewayHost(const QString& host)
{
    const QString h = host.toLower();
    return h == API::accessLoginDomain || h.endsWith(u'.' + API::accessLoginDomain);
}

std::optional<QString> string(const QJsonValue& v)
{
    return v.isString() ? std::optional(v.toString()) : std::nullopt;
}

// A whole text that is one finite decimal number: no white space around it,
// nothing after it. "inf" and "nan" are not scores.
std::optional<double> parseNumber(const QString& text)
{
    const std::string s = text.toStdString();
    std::string_view v = s;
    if (!v.empty() && v.front() == '+') {
        v.remove_prefix(1);
        if (!v.empty() && (v.front() == '+' || v.front() == '-'))
            return std::nullopt;
    }
    double value = 0;
    // from_chars takes no leading white space, no "0x" and no trailing rest.
    const auto [ptr, ec] = std::from_chars(v.data(), v.data() + v.size(), value, std::chars_format::general);
    if (v.empty() || ec != std::errc() || ptr != v.data() + v.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

// The texts of an array's elements, in order; elements without text are dropped.
QStringList texts(const QJsonValue& v)
{
    QStringList out;
    for (const QJsonValue& item : v.toArray())
        if (auto text = Json::str(item))
            out << *text;
    return out;
}

// The array when every element is an object, else nothing.
std::optional<QJsonArray> objects(const QJsonValue& v)
{
    if (!v.isArray())
        return std::nullopt;
    const QJsonArray items = v.toArray();
    for (const QJsonValue& item : items)
        if (!item.isObject())
            return std::nullopt;
    return items;
}

} // namespace

API::API(const QString& server, const QString& key, const std::optional<QString>& apiRoot)
    : server_(server.trimmed())
    , key_(key)
{
    while (server_.endsWith(u'/'))
        server_.chop(1);
    if (apiRoot)
        apiRoot_ = Address::clean(*apiRoot);
}

QString API::endpoint() const
{
    return apiRoot_ ? *apiRoot_ : server_;
}

std::optional<Url> API::url(const QString& path) const
{
    if (apiRoot_ && path.startsWith(QStringLiteral("/api/")))
        return Url::parse(*apiRoot_ + path.mid(4));
    return Url::parse(server_ + path);
}

Http::Request API::request(const QString& method, const QString& path, const std::optional<QString>& contentType) const
{
    const auto address = url(path);
    const QString scheme = address ? address->scheme().toLower() : QString();
    if (!address || (scheme != u"http" && scheme != u"https") || !address->host() || address->host()->isEmpty())
        throw APIError(0, QStringLiteral("the server address is not a valid http or https URL"));

    // A line break in the key would end the header early and smuggle the rest
    // in as headers of its own; such a key is refused, not altered.
    const bool unsafeKey = std::any_of(key_.begin(), key_.end(), [](QChar c) { return c < u' ' || c == u'\x7f'; });
    if (unsafeKey)
        throw APIError(0, QStringLiteral("the account key contains a line break or another control character"));

    Http::Request r;
    r.url = address->toEncoded();
    r.method = method.toLatin1();
    r.timeout = defaultTimeout;
    if (!key_.isEmpty())
        r.headers.append(Http::Header{"Authorization", "Bearer " + key_.toUtf8()});
    if (contentType)
        r.headers.append(Http::Header{"Content-Type", contentType->toUtf8()});
    r.headers.append(Http::Header{"Accept", "application/json"});
    r.headers.append(Http::Header{"User-Agent", "Zelvan-mac/1.0"});
    return r;
}

Http::Session& API::session()
{
    // Below 2 KB/s for 30 s an upload is a trickle, not a slow line: it fails
    // and the uploader's next attempt resumes at that step.
    static Http::Session shared(
        Http::Limits{.requestTimeout = 90, .resourceTimeout = 3600, .minRate = 2048, .rateWindow = 30});
    return shared;
}

API API::over(Http::Session& through) const
{
    API other = *this;
    other.through_ = &through;
    return other;
}

QJsonObject API::perform(const Http::Request& request, Http::Session& through)
{
    Http::Response response;
    try {
        response = through.send(request);
    } catch (const Http::Failure& failure) {
        throw APIError(0, failure.description());
    }
    return check(response);
}

QJsonObject API::json(const QString& method, const QString& path, const std::optional<QJsonObject>& body,
                      std::optional<double> timeout) const
{
    Http::Request r = request(method, path, body ? std::optional(QStringLiteral("application/json")) : std::nullopt);
    if (timeout)
        r.timeout = *timeout;
    if (body)
        r.body = QJsonDocument(*body).toJson(QJsonDocument::Compact);
    return perform(r, transport());
}

QJsonObject API::upload(const QString& method, const QString& path, const QString& file,
                        const QString& contentType) const
{
    Http::Request r = request(method, path, contentType);
    r.bodyFile = file;
    r.longTransfer = true;
    return perform(r, transport());
}

QJsonObject API::check(const Http::Response& response)
{
    const qint64 status = response.status;
    const auto url = Url::parse(QString::fromUtf8(response.url));
    const QString host = url && url->host() ? *url->host() : QString();
    if (!host.isEmpty() && isGatewayHost(host))
        throw APIError(403,
                       QStringLiteral(
                           "the server sent the browser login (Cloudflare Access) instead of answering the app"));

    const QJsonDocument doc = QJsonDocument::fromJson(response.body);
    if (status >= 200 && status <= 299) {
        if (doc.isObject())
            return doc.object();
        if (doc.isArray())
            return QJsonObject{{QStringLiteral("items"), doc.array()}};
        throw APIError(status,
                       QStringLiteral("unexpected response (not JSON) from ")
                           + (host.isEmpty() ? QStringLiteral("server") : host));
    }
    if (doc.isObject()) {
        if (auto message = string(doc.object().value(QStringLiteral("error"))))
            throw APIError(status, *message);
    }
    throw APIError(status, statusText(status));
}

// --- Workspace endpoints -------------------------------------------------

QString API::me() const
{
    const QJsonObject answer = json(QStringLiteral("GET"), QStringLiteral("/api/me"));
    const QJsonValue ego = answer.value(QStringLiteral("ego"));
    if (ego.isObject()) {
        if (auto name = string(ego.toObject().value(QStringLiteral("name"))))
            return *name;
    }
    throw APIError(0, QStringLiteral("no ego in /api/me"));
}

std::vector<Todo> API::todos() const
{
    const QJsonObject answer = json(QStringLiteral("GET"), QStringLiteral("/api/my/todos"));
    std::vector<Todo> out;
    const auto items = objects(answer.value(QStringLiteral("items")));
    if (!items)
        return out;
    for (qsizetype i = 0; i < items->size(); ++i) {
        const QJsonObject item = items->at(i).toObject();
        const auto id = Json::str(item.value(QStringLiteral("id")));
        if (!id)
            continue;
        Todo todo;
        todo.id = *id;
        const auto n = Json::number(item.value(QStringLiteral("n")));
        const bool whole = n && *n == std::trunc(*n) && *n >= std::numeric_limits<int>::min()
            && *n <= std::numeric_limits<int>::max();
        todo.n = whole ? int(*n) : int(i + 1);
        todo.title = string(item.value(QStringLiteral("title"))).value_or(*id);
        todo.status = string(item.value(QStringLiteral("status"))).value_or(QString());
        todo.topic = Json::str(item.value(QStringLiteral("topic")));
        todo.effort = Json::str(item.value(QStringLiteral("effort")));
        out.push_back(std::move(todo));
    }
    return out;
}

void API::startTodo(const QString& id) const
{
    json(QStringLiteral("POST"), QStringLiteral("/api/my/todos/") + urlComponent(id) + QStringLiteral("/start"));
}

void API::finishTodo(const QString& id) const
{
    json(QStringLiteral("POST"), QStringLiteral("/api/my/todos/") + urlComponent(id) + QStringLiteral("/finish"));
}

void API::uploadWorkday(const QString& day, const QJsonArray& spans) const
{
    json(QStringLiteral("POST"), QStringLiteral("/api/workday"),
         QJsonObject{{QStringLiteral("day"), day}, {QStringLiteral("spans"), spans}});
}

QString API::startWrap(const QString& day) const
{
    const QJsonObject answer = json(QStringLiteral("POST"), QStringLiteral("/api/workday/wrap"),
                                    QJsonObject{{QStringLiteral("day"), day}});
    return string(answer.value(QStringLiteral("status"))).value_or(QStringLiteral("running"));
}

WrapStatus API::wrapStatus(const QString& day) const
{
    const QJsonObject answer = json(QStringLiteral("GET"), QStringLiteral("/api/workday/wrap?day=") + urlComponent(day));
    WrapStatus wrap;
    if (const auto cards = objects(answer.value(QStringLiteral("cards")))) {
        for (const QJsonValue& v : *cards) {
            const QJsonObject card = v.toObject();
            const auto id = Json::str(card.value(QStringLiteral("id")));
            if (!id)
                continue;
            wrap.cards.push_back({*id, string(card.value(QStringLiteral("title"))).value_or(*id)});
        }
    }
    wrap.highlights = texts(answer.value(QStringLiteral("highlights")));
    wrap.tomorrow = texts(answer.value(QStringLiteral("tomorrow")));
    wrap.status = string(answer.value(QStringLiteral("status"))).value_or(QStringLiteral("none"));
    wrap.summary = string(answer.value(QStringLiteral("summary")));
    wrap.error = string(answer.value(QStringLiteral("error")));
    return wrap;
}

API::Score API::routeScore(const QString& title, const QString& app, const QStringList& participants,
                           const QString& text) const
{
    const QJsonObject body{
        {QStringLiteral("title"), title},
        {QStringLiteral("app"), app},
        {QStringLiteral("participants"), QJsonArray::fromStringList(participants)},
        {QStringLiteral("text"), text},
    };
    const QJsonObject answer = json(QStringLiteral("POST"), QStringLiteral("/api/route/score"), body, routeScoreTimeout);
    Score score;
    const QJsonValue s = answer.value(QStringLiteral("score"));
    if (auto n = Json::number(s))
        score.score = *n;
    else if (auto t = Json::str(s))
        score.score = parseNumber(*t).value_or(0);
    score.reasons = texts(answer.value(QStringLiteral("reasons")));
    return score;
}

API::Coaching API::coachLive(const QJsonObject& snapshot) const
{
    const QJsonObject answer = json(QStringLiteral("POST"), QStringLiteral("/api/coach/live"), snapshot, defaultTimeout);
    Coaching out;
    out.nextAfter = Json::number(answer.value(QStringLiteral("next_after_s")));
    const QJsonValue tipValue = answer.value(QStringLiteral("tip"));
    if (!tipValue.isObject())
        return out;
    const QJsonObject tip = tipValue.toObject();
    const auto title = string(tip.value(QStringLiteral("title")));
    if (!title || title->trimmed().isEmpty())
        return out;
    LiveTip live;
    live.title = *title;
    live.body = string(tip.value(QStringLiteral("body"))).value_or(QString());
    const QJsonObject card = tip.value(QStringLiteral("card")).toObject();
    if (auto cardTitle = string(card.value(QStringLiteral("title"))); cardTitle && !cardTitle->trimmed().isEmpty())
        live.cardTitle = cardTitle->trimmed();
    live.cardWhy = string(card.value(QStringLiteral("why")));
    out.tip = live;
    return out;
}

std::optional<QString> API::createTask(const QString& title, const std::optional<QString>& notes) const
{
    QJsonObject body{{QStringLiteral("title"), title}};
    if (notes && !notes->isEmpty())
        body.insert(QStringLiteral("notes"), *notes);
    const QJsonObject answer = json(QStringLiteral("POST"), QStringLiteral("/api/tasks"), body);
    if (auto id = Json::str(answer.value(QStringLiteral("id"))))
        return id;
    return Json::str(answer.value(QStringLiteral("task")).toObject().value(QStringLiteral("id")));
}

QJsonObject API::callDetail(const QString& id) const
{
    return json(QStringLiteral("GET"), QStringLiteral("/api/calls/") + urlComponent(id));
}
