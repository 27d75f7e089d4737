// Where a finished session goes: scored against the connected projects, filed by
// itself only for a clear team call the user opted in for, otherwise asked
// "Where does this go?", and sent to Personal when nobody answers in time.
#include "app/AppController.h"

#include "core/Log.h"
#include "core/Strings.h"
#include "platform/Wording.h"
#include "session/Router.h"

#include <QFileInfo>
#include <QtGlobal>
#include <cmath>

namespace {

// The title as the nudges quote it.
QString quoted(const QString& title)
{
    return QStringLiteral("“") + cut(title, 50) + QStringLiteral("”");
}

} // namespace

double AppController::askSeconds()
{
    const QByteArray raw = qgetenv("ZELVAN_ASK_SECONDS");
    bool ok = false;
    const double value = QString::fromUtf8(raw).trimmed().toDouble(&ok);
    // Endless or negative waits make no sense: the default then.
    if (!ok || !std::isfinite(value) || value < 0)
        return 120;
    return value;
}

void AppController::finish(const std::shared_ptr<Session>& session)
{
    if (session->meta().routeDone.value_or(false)) {
        uploadSession(session);
        return;
    }
    const auto connected = accounts.connected();
    const bool signedIn = accounts.signedIn();
    const QString key = session->dir();
    if (signedIn && !connected.empty()) {
        routing.insert(key);
        upload = {.kind = UploadState::Kind::busy, .text = QStringLiteral("Where does it go?…")};
        rebuildMenu();
        const SessionMeta& meta = session->meta();
        auto scoring = std::make_shared<QFuture<std::vector<RouteResult>>>(
            Router::scoreAll(connected, meta.title, meta.app, meta.participants, Router::text(meta)));
        auto results = std::make_shared<std::vector<RouteResult>>();
        // The scores come from the network pool; wait for them off the main thread.
        background(
            Lane::local, [scoring, results] { *results = scoring->result(); },
            [session, results, key](AppController& c) {
                c.routing.remove(key);
                const SessionMeta& meta = session->meta();
                const Suggestion suggestion = Router::suggest(*results, meta.isCall(), c.settings.autoFileTeamCalls());
                QStringList scores;
                for (const RouteResult& r : *results)
                    scores << r.ws.name + u' ' + QString::number(r.percent()) + u'%';
                slog(QStringLiteral("where ") + Log::oneLine(meta.title) + QStringLiteral(" (")
                     + (meta.isCall() ? QStringLiteral("call") : QStringLiteral("session")) + QStringLiteral("): ")
                     + (scores.isEmpty() ? QStringLiteral("no scores") : scores.join(QStringLiteral(", ")))
                     + QStringLiteral(" -> suggest ") + Log::oneLine(suggestion.label())
                     + (suggestion.autoFile ? QStringLiteral(" (auto-file, opt-in)") : QString()));
                if (suggestion.autoFile && suggestion.project) {
                    const RouteResult best = *suggestion.project;
                    c.applyProject(session, best.ws, best, true);
                    c.ports_.nudges->show({
                        .kind = QStringLiteral("filed"),
                        .priority = 1,
                        .title = QStringLiteral("Filed in ") + best.ws.name,
                        .message = quoted(meta.title) + QStringLiteral(" · ") + suggestion.reason
                            + QStringLiteral(". Move it from the menu if that’s wrong."),
                        .timeout = 8,
                    });
                    return;
                }
                c.routeScores[key] = *results;
                c.routeSuggest[key] = suggestion;
                c.upload = {};
                c.askWhere(session);
                c.ports_.scheduler->after(askSeconds(), c.weakly([key](AppController& c) {
                    // Answered meanwhile.
                    if (!c.routeScores.contains(key))
                        return;
                    auto fresh = Session::load(key);
                    if (!fresh || fresh->meta().routeDone.value_or(false))
                        return;
                    const QString title = fresh->meta().title;
                    slog(QStringLiteral("where ") + Log::oneLine(title) + QStringLiteral(": no choice in ")
                         + QString::number(qint64(askSeconds())) + QStringLiteral(" s -> Personal"));
                    c.ports_.notify->filedPersonal(title, QFileInfo(key).fileName());
                    c.applyPersonal(fresh, QStringLiteral("no choice in 2 min"));
                }));
            });
        return;
    }
    if (signedIn) {
        applyPersonal(session, QStringLiteral("no project yet"));
        return;
    }
    if (!connected.empty()) {
        // Legacy servers without an account: no scores, no Personal, no time-out.
        routeScores[key] = {};
        upload = {};
        askWhere(session);
        return;
    }
    uploadSession(session);
}

std::vector<AppController::Choice> AppController::whereChoices(const Session& session)
{
    const QString key = session.dir();
    const std::vector<RouteResult> scores = routeScores.value(key);
    const std::optional<Suggestion> suggestion = routeSuggest.contains(key)
        ? std::optional<Suggestion>(routeSuggest.value(key))
        : std::nullopt;
    std::vector<Choice> built;
    if (accounts.signedIn())
        built.push_back(
            {true, std::nullopt, QStringLiteral("Personal (private)"), suggestion.has_value() && !suggestion->project});
    for (const RouteResult& r : scores)
        built.push_back({false, r.ws, r.ws.name + QStringLiteral(" · ") + QString::number(r.percent()) + u'%',
                         suggestion && suggestion->project && suggestion->project->ws.id == r.ws.id});
    for (const auto& [ws, api] : accounts.connected()) {
        const bool scored = std::any_of(scores.begin(), scores.end(),
                                        [&](const RouteResult& r) { return r.ws.id == ws.id; });
        if (!scored)
            built.push_back({false, ws, ws.name, false});
    }
    std::stable_partition(built.begin(), built.end(), [](const Choice& c) { return c.suggested; });
    return built;
}

void AppController::askWhere(const std::shared_ptr<Session>& session)
{
    const std::vector<Choice> choices = whereChoices(*session);
    if (choices.empty())
        return;
    const QString key = session->dir();
    QString message = quoted(session->meta().title);
    if (routeSuggest.contains(key))
        message += QStringLiteral("\nSuggested: ") + routeSuggest.value(key).label();
    if (accounts.signedIn())
        message += QStringLiteral("\nNo choice in 2 min → Personal.");
    std::vector<Ports::Nudges::Button> buttons;
    for (const Choice& choice : choices)
        buttons.push_back({choice.label, choice.suggested,
                           weakly([session, choice](AppController& c) { c.choose(session, choice); })});
    ports_.nudges->show({
        .kind = QStringLiteral("route"),
        .priority = 3,
        .title = QStringLiteral("Where does this go?"),
        .message = message,
        .buttons = std::move(buttons),
        .stacked = true,
        .timeout = askSeconds(),
        .onTimeout = weakly([](AppController& c) { c.rebuildMenu(); }),
    });
    rebuildMenu();
}

void AppController::choose(const std::shared_ptr<Session>& session, const Choice& choice)
{
    // The folder on disk is the truth: the time-out or another answer may have won.
    auto fresh = Session::load(session->dir());
    if (!fresh || fresh->meta().routeDone.value_or(false))
        return;
    if (choice.personal) {
        applyPersonal(fresh, QStringLiteral("chosen"));
        return;
    }
    if (!choice.ws)
        return;
    std::optional<RouteResult> result;
    for (const RouteResult& r : routeScores.value(fresh->dir()))
        if (r.ws.id == choice.ws->id) {
            result = r;
            break;
        }
    if (!result)
        result = RouteResult{*choice.ws, 0, {QStringLiteral("chosen by hand")}};
    applyProject(fresh, *choice.ws, result, false);
}

void AppController::applyPersonal(const std::shared_ptr<Session>& session, const QString& why)
{
    SessionMeta& meta = session->meta();
    meta.workspaceID.reset();
    meta.personal = true;
    meta.routed = Routed{0, {why}, false};
    meta.routeDone = true;
    session->save();
    decided(session);
}

void AppController::applyProject(const std::shared_ptr<Session>& session, const Workspace& ws,
                                 const std::optional<RouteResult>& result, bool autoFiled)
{
    SessionMeta& meta = session->meta();
    meta.workspaceID = ws.id;
    meta.personal.reset();
    if (result)
        meta.routed = Routed{result->score, result->reasons, autoFiled};
    else
        meta.routed.reset();
    meta.routeDone = true;
    session->save();
    decided(session);
}

void AppController::decided(const std::shared_ptr<Session>& session)
{
    const QString key = session->dir();
    routeScores.remove(key);
    routeSuggest.remove(key);
    ports_.nudges->dismiss(QStringLiteral("route"));
    uploadSession(session);
    // Bring back the question of another session whose nudge this one replaced.
    // The menu's list serves: a change of the questions asked reads it again.
    for (const auto& other : pendingSessions())
        if (routeScores.contains(other->dir()) && !other->meta().routeDone.value_or(false)) {
            askWhere(other);
            break;
        }
}
