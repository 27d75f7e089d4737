// The workspace server checks: the sample session goes up to a legacy workspace
// server, is read back and deleted; then every endpoint a day of work uses is
// tried once. Each block catches its own errors, so one broken endpoint never
// hides the others.

#include "core/API.h"
#include "core/Clock.h"
#include "core/Fmt.h"
#include "core/Strings.h"
#include "core/Workspace.h"
#include "platform/Error.h"
#include "selftest/Live.h"
#include "selftest/Report.h"
#include "selftest/SelfTest.h"
#include "session/Router.h"
#include "session/Session.h"
#include "session/Uploader.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>
#include <limits>

namespace SelfTest {

bool strict()
{
    return qEnvironmentVariable("ZELVAN_SELFTEST_STRICT") == QStringLiteral("1");
}

void missing(const QString& text, const QString& detail)
{
    if (strict())
        check(false, text, detail.isEmpty() ? QStringLiteral("strict mode: counted as a failure") : detail);
    else
        report().info(detail.isEmpty() ? text : text + QStringLiteral("  — ") + detail);
}

void progress(const QString& text)
{
    report().note(QStringLiteral("… ") + text);
}

QString valueText(const QJsonValue& value)
{
    switch (value.type()) {
    case QJsonValue::Undefined:
        return QStringLiteral("-");
    case QJsonValue::Null:
        return QStringLiteral("null");
    case QJsonValue::Bool:
        return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    case QJsonValue::Double: {
        const double d = value.toDouble();
        if (std::isfinite(d) && d == std::trunc(d) && std::abs(d) < 1e15)
            return QString::number(qint64(d));
        return shortest(d);
    }
    case QJsonValue::String:
        return value.toString();
    case QJsonValue::Array:
        return QString::fromUtf8(QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact));
    case QJsonValue::Object:
        return QString::fromUtf8(QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact));
    }
    return QStringLiteral("-");
}

bool refused(const QJsonObject& answer)
{
    return answer.contains(QStringLiteral("error")) || answer.value(QStringLiteral("ok")) == QJsonValue(false);
}

QString wholeSeconds(const std::optional<double>& s)
{
    if (!s || !std::isfinite(*s) || std::abs(*s) >= 9.2e18)
        return QStringLiteral("-");
    return QString::number(qint64(std::trunc(*s)));
}

QJsonArray workMinute(const QDateTime& now)
{
    return QJsonArray{QJsonObject{{QStringLiteral("start"), Fmt::iso(now.addSecs(-60))},
                                  {QStringLiteral("end"), Fmt::iso(now)},
                                  {QStringLiteral("app"), QStringLiteral("Zelvan selftest")},
                                  {QStringLiteral("title"), QJsonValue::Null}}};
}

WrapRead readWrap(const API& api, const QString& day)
{
    WrapRead r;
    r.wrap = api.wrapStatus(day);
    const QJsonValue again = api.json(QStringLiteral("GET"), QStringLiteral("/api/workday/wrap?day=") + urlComponent(day))
                                 .value(QStringLiteral("status"));
    const QString running = QStringLiteral("running");
    if (!again.isString() || again.toString().isEmpty())
        r.fault = QStringLiteral("the answer has no status: ") + valueText(again);
    else if (r.wrap.status != running && again.toString() == running)
        r.fault = QStringLiteral("reading the status started a wrap (") + r.wrap.status + QStringLiteral(", then running)");
    return r;
}

std::optional<QString> todosFault(const QJsonObject& answer)
{
    const QJsonValue items = answer.value(QStringLiteral("items"));
    if (!items.isArray())
        return QStringLiteral("no \"items\" list in the answer");
    for (const QJsonValue& item : items.toArray()) {
        if (!item.isObject())
            return QStringLiteral("an item that is not an object: ") + valueText(item);
        const QJsonValue id = item.toObject().value(QStringLiteral("id"));
        if ((!id.isString() || id.toString().isEmpty()) && !id.isDouble())
            return QStringLiteral("a to-do without an id: ") + valueText(item);
    }
    return std::nullopt;
}

bool gone(const API& api, const QString& method, const QString& path, const QString& found, QString& why)
{
    try {
        api.json(method, path);
        why = found;
        return false;
    } catch (const APIError& e) {
        if (e.status() == 404)
            return true;
        why = e.description();
        return false;
    }
}

namespace {

// An integer-valued JSON number equal to `n` (a text "5" is not).
bool isInt(const QJsonValue& v, qint64 n)
{
    return v.isDouble() && v.toDouble() == double(n);
}

void uploadBlock(RunContext& run, const API& api, const QString& server)
{
    const QString failName = QStringLiteral("upload to ") + server;
    if (!run.session) {
        check(false, failName, QStringLiteral("no sample session: the session checks did not make one"));
        return;
    }
    Session& s = *run.session;
    try {
        const QString name = api.me();
        check(!name.trimmed().isEmpty(), QStringLiteral("GET /api/me"), name);

        const QString id = Uploader::upload(s, api, name, false, true, progress);
        check(id.startsWith(QStringLiteral("rec:")), QStringLiteral("POST /api/calls (+ /audio) → id"), id);

        const auto loaded = Session::load(s.dir());
        check(loaded && loaded->meta().callId == id && loaded->meta().audioUploaded && !loaded->meta().processed,
              QStringLiteral("upload progress saved in meta.json (processing skipped)"));

        const QString path = QStringLiteral("/api/calls/") + urlComponent(id);
        const QJsonObject d = api.json(QStringLiteral("GET"), path);
        const auto field = [](const QJsonObject& o, const char* key) { return valueText(o.value(QLatin1String(key))); };
        check(d.value(QStringLiteral("has_audio")) == QJsonValue(true) && isInt(d.value(QStringLiteral("n_shots")), 5)
                  && d.value(QStringLiteral("status")) == QJsonValue(QStringLiteral("uploaded"))
                  && d.value(QStringLiteral("source")) == QJsonValue(QStringLiteral("mac")),
              QStringLiteral("server has the call: has_audio, 2 shots + 3 pins, status uploaded, source mac"),
              QStringLiteral("has_audio=") + field(d, "has_audio") + QStringLiteral(" n_shots=") + field(d, "n_shots")
                  + QStringLiteral(" status=") + field(d, "status") + QStringLiteral(" source=") + field(d, "source"));

        if (const auto link = Workspace(QStringLiteral("t"), server)
                                  .link(QStringLiteral("library/call/") + urlComponent(id)))
            report().note(QStringLiteral("library link: ") + link->text());

        const QJsonObject c = api.callDetail(id);
        const QJsonValue routed = c.value(QStringLiteral("routed"));
        const QJsonValue review = c.value(QStringLiteral("review"));
        check(isInt(c.value(QStringLiteral("n_ocr")), 2) && isInt(c.value(QStringLiteral("n_apps")), 3)
                  && routed.isObject() && routed.toObject().value(QStringLiteral("auto")) == QJsonValue(true)
                  && c.contains(QStringLiteral("review")),
              QStringLiteral("server stored ocr (2), apps (3), routed; detail has a review key"),
              QStringLiteral("kind=") + field(c, "kind") + QStringLiteral(" n_ocr=") + field(c, "n_ocr")
                  + QStringLiteral(" n_apps=") + field(c, "n_apps") + QStringLiteral(" routed=")
                  + valueText(routed.isObject() ? routed : QJsonValue(QJsonObject())) + QStringLiteral(" review=")
                  + (c.contains(QStringLiteral("review")) ? valueText(review) : QStringLiteral("missing")));

        api.json(QStringLiteral("DELETE"), path);
        QString why;
        check(gone(api, QStringLiteral("GET"), path, QStringLiteral("the call is still there"), why),
              QStringLiteral("DELETE /api/calls/<id> removed the test call"), why);
    } catch (const std::exception& e) {
        check(false, failName, describe(e));
    }
}

void routeBlock(RunContext& run, const API& api)
{
    try {
        const SessionMeta meta = run.session ? run.session->meta() : SessionMeta{};
        const API::Score s = api.routeScore(meta.title, QStringLiteral("Screen"), {}, Router::text(meta));
        QStringList reasons = s.reasons.mid(0, 3);
        const bool inRange = s.score >= 0.0 && s.score <= 1.0;
        check(inRange, QStringLiteral("POST /api/route/score"),
              (inRange ? QString::number(qint64(s.score * 100)) : shortest(s.score * 100)) + QStringLiteral("% ")
                  + quotedList(reasons));
    } catch (const APIError& e) {
        if (!e.isMissing()) {
            check(false, QStringLiteral("route/score"), e.description());
            return;
        }
        const std::vector<std::pair<Workspace, API>> targets{{Workspace(QStringLiteral("Test"), api.server()), api}};
        const auto results =
            Router::scoreAll(targets, QStringLiteral("x"), QStringLiteral("Screen"), {}, QStringLiteral("x")).result();
        const QString name = QStringLiteral("route/score 404 (older server) -> no scores -> default workspace");
        if (!results.empty() || Router::decide(results))
            check(false, name, QStringLiteral("a score came back from a server that answered 404"));
        else
            missing(name);
    } catch (const std::exception& e) {
        check(false, QStringLiteral("route/score"), describe(e));
    }
}

void coachBlock(RunContext& run, const API& api)
{
    try {
        const QDateTime now = Clock::current().now();
        QJsonArray apps;
        if (run.session && run.session->meta().apps)
            for (const AppSpan& a : *run.session->meta().apps)
                apps.append(a.dict());
        const QJsonObject snapshot{{QStringLiteral("started"), Fmt::iso(now.addSecs(-120))},
                                   {QStringLiteral("t"), 120},
                                   {QStringLiteral("ocr"), QJsonArray()},
                                   {QStringLiteral("apps"), apps},
                                   {QStringLiteral("pins"), QJsonArray()},
                                   {QStringLiteral("kind"), QStringLiteral("session")}};
        const API::Coaching c = api.coachLive(snapshot);
        check(!c.tip && c.nextAfter.has_value(),
              QStringLiteral("POST /api/coach/live (no new text: no tip, next_after_s ") + wholeSeconds(c.nextAfter)
                  + u')',
              c.tip ? QStringLiteral("tip: ") + c.tip->title : QString());
    } catch (const APIError& e) {
        if (e.isMissing())
            missing(QStringLiteral("/api/coach/live → 404: live tips switch off for that recording"));
        else
            check(false, QStringLiteral("coach/live"), e.description());
    } catch (const std::exception& e) {
        check(false, QStringLiteral("coach/live"), describe(e));
    }
}

void cardBlock(const API& api)
{
    try {
        const auto id = api.createTask(QStringLiteral("Zelvan selftest card (delete me)"),
                                       QStringLiteral("why: selftest"));
        check(id.has_value(), QStringLiteral("POST /api/tasks {title, notes} (Add as card)"),
              id.value_or(QStringLiteral("-")));
        if (!id)
            return;
        // No second look: a DELETE may be idempotent, and there is no GET for a card.
        const QJsonObject answer = api.json(QStringLiteral("DELETE"), QStringLiteral("/api/tasks/") + urlComponent(*id));
        check(!refused(answer), QStringLiteral("test card deleted"), refused(answer) ? valueText(answer) : QString());
    } catch (const std::exception& e) {
        check(false, QStringLiteral("create card"), describe(e));
    }
}

void todoBlock(RunContext& run, const API& api)
{
    try {
        // The answer as it came, then as the application reads it.
        const auto fault = todosFault(api.json(QStringLiteral("GET"), QStringLiteral("/api/my/todos")));
        const std::vector<Todo> list = api.todos();
        QStringList titles;
        for (size_t i = 0; i < list.size() && i < 3; ++i)
            titles << list[i].title;
        check(!fault, QStringLiteral("GET /api/my/todos"),
              QString::number(list.size()) + QStringLiteral(" items: ") + quotedList(titles)
                  + (fault ? QStringLiteral(" (") + *fault + u')' : QString()));
        if (!run.args.contains(QStringLiteral("--todo-actions")) || list.empty())
            return;
        const QString id = list.front().id;
        const QString base = QStringLiteral("POST /api/my/todos/") + id;
        // The server's word for the to-do afterwards, for the person reading the report.
        const auto statusNow = [&] {
            for (const Todo& t : api.todos())
                if (t.id == id)
                    return QStringLiteral("status ") + (t.status.isEmpty() ? QStringLiteral("-") : t.status);
            return QStringLiteral("off the list");
        };
        api.startTodo(id);
        check(true, base + QStringLiteral("/start"), statusNow());
        api.finishTodo(id);
        check(true, base + QStringLiteral("/finish"), statusNow());
    } catch (const APIError& e) {
        if (e.isMissing())
            missing(QStringLiteral("/api/my/todos → 404: menu shows “Workspace needs an update”"));
        else
            check(false, QStringLiteral("todos"), e.description());
    } catch (const std::exception& e) {
        check(false, QStringLiteral("todos"), describe(e));
    }
}

void workdayBlock(const API& api)
{
    try {
        const QDateTime now = Clock::current().now();
        const QString day = Fmt::day(now);
        api.uploadWorkday(day, workMinute(now));
        check(true, QStringLiteral("POST /api/workday"));
        const WrapRead read = readWrap(api, day);
        check(!read.fault, QStringLiteral("GET /api/workday/wrap (status only, no wrap started)"),
              read.fault.value_or(read.wrap.status));
    } catch (const APIError& e) {
        if (e.isMissing())
            missing(QStringLiteral("/api/workday → 404: menu shows “workspace needs an update”"));
        else
            check(false, QStringLiteral("workday"), e.description());
    } catch (const std::exception& e) {
        check(false, QStringLiteral("workday"), describe(e));
    }
}

} // namespace

void serverChecks(RunContext& run)
{
    const auto server = arg(run.args, QStringLiteral("--server"));
    if (!server)
        return;
    const API api(*server, arg(run.args, QStringLiteral("--key")).value_or(QString()));
    uploadBlock(run, api, *server);
    routeBlock(run, api);
    coachBlock(run, api);
    cardBlock(api);
    todoBlock(run, api);
    workdayBlock(api);
}

} // namespace SelfTest
