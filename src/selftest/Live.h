#pragma once

#include "selftest/Suites.h"

#include "core/WrapStatus.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <optional>

class API;

// The live suites: the workspace server checks ("--server") and the platform
// checks ("--platform"), and what they share.
namespace SelfTest {

void serverChecks(RunContext& run);
void platformChecks(RunContext& run);

// ZELVAN_SELFTEST_STRICT=1: a missing endpoint (404) that would otherwise be read
// as an older server fails instead, so a broken server cannot pass in CI.
bool strict();

// A 404 the rules read as an older server (or a probe that only informs): an
// INFO line, or a failed check in strict mode.
void missing(const QString& text, const QString& detail = {});

// The uploader's progress as an indented line: "      … Uploading audio…".
void progress(const QString& text);

// A JSON value as a detail shows it: texts bare, whole numbers without a
// fraction, objects and arrays as compact JSON, "-" for undefined.
QString valueText(const QJsonValue& value);

// An answer that says it did not do what was asked.
bool refused(const QJsonObject& answer);

// Whole seconds toward zero; "-" for none or a value no integer holds.
QString wholeSeconds(const std::optional<double>& seconds);

// One minute of work ending at `now`, as API::uploadWorkday takes spans.
QJsonArray workMinute(const QDateTime& now);

// The day's wrap status through the application's reading, judged against the
// answer itself read once more: "status" must be a text, and a first read that
// was not "running" followed by one that is means reading started a wrap. A
// wrap already running (the person ended the day elsewhere) is a correct answer.
struct WrapRead {
    WrapStatus wrap;
    std::optional<QString> fault; // what was wrong; nothing when the answer is sound
};
WrapRead readWrap(const API& api, const QString& day);

// What is wrong with an answer to GET /api/my/todos, or nothing: it must hold
// "items" (a bare array arrives as such), a list of objects each with an id.
std::optional<QString> todosFault(const QJsonObject& answer);

// After a DELETE: whether `method path` now finds nothing. Gone means 404; any
// other status (410, 500) is not the answer for a deleted item, and `why` then
// holds its error, or `found` when the request succeeded.
bool gone(const API& api, const QString& method, const QString& path, const QString& found, QString& why);

} // namespace SelfTest
