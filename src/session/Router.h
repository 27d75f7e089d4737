#pragma once

#include "core/API.h"
#include "core/Workspace.h"
#include "session/RouteResult.h"
#include "session/SessionMeta.h"
#include "session/Suggestion.h"

#include <QFuture>
#include <QString>
#include <QStringList>
#include <optional>
#include <utility>
#include <vector>

// Proposes where a finished session belongs. Every project's server scores the
// session; fixed thresholds and the servers' reason wording turn the scores
// into a suggestion. Stateless; everything but scoreAll is plain computation.
namespace Router {

inline constexpr qsizetype maxText = 20000;
// scoreAll asks at most this many projects, the first ones of the list; the
// rest take no score, as a project whose scoring failed.
inline constexpr int maxScored = 40;
// How many of those requests are under way at once.
inline constexpr int concurrency = 4;
// A clear winner scores at least this and leads the next project by `minLead`.
inline constexpr double minScore = 0.6;
inline constexpr double minLead = 0.2;
// Filing without asking also needs this score and a participants reason.
inline constexpr double autoScore = 0.9;

struct Verdict {
    RouteResult best;
    bool autoFile = false;
};

// The text a server scores: window lines (private windows left out, each line
// once), the notes of pins, then the screen texts; at most maxText characters.
QString text(const SessionMeta& meta);

// Asks the projects (at most maxScored, `concurrency` at a time) on Net::pool().
// Never fails: a project whose request fails is logged and left out. Results are sorted by score, highest first; equal
// scores keep the order in which the answers came.
QFuture<std::vector<RouteResult>> scoreAll(const std::vector<std::pair<Workspace, API>>& targets, const QString& title,
                                           const QString& app, const QStringList& participants, const QString& text);

// The best project and whether it wins clearly enough to file without asking.
std::optional<Verdict> decide(std::vector<RouteResult> results);

Suggestion suggest(std::vector<RouteResult> results, bool isCall, bool autoFile);

// The first reason that ties the session to the team ("with …", "… in the title").
std::optional<QString> teamReason(const RouteResult& r);
// Whether a reason names call participants ("with …").
bool hasParticipants(const RouteResult& r);

} // namespace Router
