#include "session/Router.h"

#include "core/Log.h"
#include "core/Net.h"
#include "core/Privacy.h"
#include "core/Strings.h"

#include <QPromise>
#include <QSet>
#include <algorithm>
#include <cmath>
#include <memory>
#include <mutex>

namespace {

const QString personalSession = QStringLiteral("a work session \u2014 only you see it");
const QString noTeamSignals = QStringLiteral("no team signals on this call");
const QString notClear = QStringLiteral("not clearly one project");

// A score that is not a number sorts below every real one instead of breaking the order.
double sortKey(double score)
{
    return std::isnan(score) ? -INFINITY : score;
}

void sortByScore(std::vector<RouteResult>& results)
{
    std::stable_sort(results.begin(), results.end(),
                     [](const RouteResult& a, const RouteResult& b) { return sortKey(a.score) > sortKey(b.score); });
}

// Limited to 1, then to 0; not a number counts as no fit at all.
double clampScore(double s)
{
    if (std::isnan(s))
        return 0;
    return std::max(std::min(s, 1.0), 0.0);
}

bool isTeamReason(const QString& reason)
{
    return reason.startsWith(QStringLiteral("with ")) || reason.endsWith(QStringLiteral(" in the title"));
}

// The best result's lead over the second (0 when it stands alone) decides.
bool clearWinner(const std::vector<RouteResult>& sorted)
{
    const double best = sorted[0].score;
    const double second = sorted.size() > 1 ? sorted[1].score : 0.0;
    return best >= Router::minScore && best - second >= Router::minLead;
}

} // namespace

namespace Router {

QString text(const SessionMeta& meta)
{
    QStringList lines;
    if (meta.apps) {
        QSet<QString> seen;
        for (const AppSpan& span : *meta.apps) {
            if (span.app == Privacy::privateLabel)
                continue;
            const QString line = span.title ? span.app + QStringLiteral(": ") + *span.title : span.app;
            if (seen.contains(line))
                continue;
            seen.insert(line);
            lines << line;
        }
    }
    for (const PinMeta& pin : meta.pins)
        if (!pin.note.isEmpty())
            lines << QStringLiteral("Pin: ") + pin.note;
    if (meta.ocr)
        for (const OcrEntry& entry : *meta.ocr)
            lines << entry.text;
    const QString joined = lines.join(u'\n');
    // Graphemes are never fewer than UTF-16 units, so a short text needs no count.
    if (joined.size() <= maxText)
        return joined;
    return leftGraphemes(joined, maxText);
}

QFuture<std::vector<RouteResult>> scoreAll(const std::vector<std::pair<Workspace, API>>& targets, const QString& title,
                                           const QString& app, const QStringList& participants, const QString& text)
{
    struct Gather {
        QPromise<std::vector<RouteResult>> promise;
        std::vector<std::pair<Workspace, API>> targets;
        QString title, app, text;
        QStringList participants;
        std::mutex mutex;
        std::vector<RouteResult> results; // in the order the answers came
    };
    auto gather = std::make_shared<Gather>();
    gather->promise.start();
    QFuture<std::vector<RouteResult>> future = gather->promise.future();
    const size_t scored = std::min(targets.size(), size_t(maxScored));
    gather->targets.assign(targets.begin(), targets.begin() + qsizetype(scored));
    gather->title = title;
    gather->app = app;
    gather->text = text;
    gather->participants = participants;
    // A few askers take the targets one after the other, so a long project list
    // never holds the whole network pool or opens a connection per project.
    Net::each(
        scored, concurrency,
        [gather](size_t i) {
            const auto& [ws, api] = gather->targets[i];
            std::optional<RouteResult> result;
            try {
                const API::Score s = api.routeScore(gather->title, gather->app, gather->participants, gather->text);
                result = RouteResult{ws, clampScore(s.score), s.reasons};
            } catch (const APIError& e) {
                slog(QStringLiteral("route/score @ ") + Log::oneLine(ws.name) + QStringLiteral(": ")
                     + Log::oneLine(e.description()));
            } catch (const std::exception& e) {
                slog(QStringLiteral("route/score @ ") + Log::oneLine(ws.name) + QStringLiteral(": ")
                     + Log::oneLine(QString::fromUtf8(e.what())));
            }
            if (result) {
                std::lock_guard lock(gather->mutex);
                gather->results.push_back(std::move(*result));
            }
        },
        [gather] {
            sortByScore(gather->results);
            gather->promise.addResult(std::move(gather->results));
            gather->promise.finish();
        });
    return future;
}

std::optional<Verdict> decide(std::vector<RouteResult> results)
{
    sortByScore(results);
    if (results.empty())
        return std::nullopt;
    const bool clear = clearWinner(results);
    return Verdict{std::move(results[0]), clear};
}

Suggestion suggest(std::vector<RouteResult> results, bool isCall, bool autoFile)
{
    if (!isCall)
        return Suggestion{std::nullopt, personalSession, false};
    sortByScore(results);
    if (results.empty())
        return Suggestion{std::nullopt, noTeamSignals, false};
    const RouteResult& best = results[0];
    const auto team = teamReason(best);
    if (!team)
        return Suggestion{std::nullopt, noTeamSignals, false};
    if (clearWinner(results)) {
        const bool autoFiled = autoFile && best.score >= autoScore && hasParticipants(best);
        return Suggestion{best, *team, autoFiled};
    }
    return Suggestion{std::nullopt, notClear, false};
}

std::optional<QString> teamReason(const RouteResult& r)
{
    for (const QString& reason : r.reasons)
        if (isTeamReason(reason))
            return reason;
    return std::nullopt;
}

bool hasParticipants(const RouteResult& r)
{
    return std::any_of(r.reasons.begin(), r.reasons.end(),
                       [](const QString& reason) { return reason.startsWith(QStringLiteral("with ")); });
}

} // namespace Router
