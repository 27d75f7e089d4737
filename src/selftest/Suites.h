#pragma once

#include "app/Reviews.h"
#include "session/Session.h"
#include "session/SessionMeta.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

// What the suites of one run hand on to each other.
struct RunContext {
    QString out; // the output folder
    QStringList args;

    // Audio checks: the speech spans from the live levels, and the mix when it was made.
    std::vector<Span> micSpans;
    std::vector<Span> tabSpans;
    std::optional<QString> mixed;

    // Capture checks: the two frame JPEGs and the text of the three-line frame.
    std::optional<QByteArray> j0;
    std::optional<QByteArray> j1;
    QString frameText;

    // Routing checks: the merged application spans.
    std::vector<AppSpan> appSpans;

    // Session checks: the finished sample session.
    std::shared_ptr<Session> session;
};

// The suites, in run order. Each reports through SelfTest::check.
namespace SelfTest {
void audioChecks(RunContext& run);
void captureChecks(RunContext& run);
void routingChecks(RunContext& run);
void slideChecks(RunContext& run);
void sessionChecks(RunContext& run);
void workdayChecks(RunContext& run);
void accountChecks(const QString& suite);
// Which review suggestions of a call are still offered, through `open` (the
// application's reading of a call's review unless a test hands another).
using OpenSuggestions = std::function<std::vector<ReviewSuggestion>(const QJsonValue& review)>;
void reviewSuggestionsCheck(const OpenSuggestions& open = openSuggestions);
void phraseChecks();
void coachChecks();
// The last section of every run: the board's link, host and page rules.
void boardChecks();

// Number texts as the report writes them: the shortest text that reads back as
// the same double, with at least one decimal ("0.3", "1.0").
QString shortest(double value);
// ["0.3–2.3", "3.8–6.3"]
QString spanList(const std::vector<Span>& spans);
// ["a", "b"]
QString quotedList(const QStringList& items);
} // namespace SelfTest
