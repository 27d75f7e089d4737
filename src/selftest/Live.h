#pragma once

#include "selftest/Suites.h"

#include <QDateTime>
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

// One minute of work ending at `now`, sent to "/api/workday" for `day` as
// API::uploadWorkday sends a day; the answer is handed back to be judged.
QJsonObject postWorkMinute(const API& api, const QString& day, const QDateTime& now);

// After a DELETE: whether `method path` now finds nothing. Gone means 404; any
// other status (410, 500) is not the answer for a deleted item, and `why` then
// holds its error, or `found` when the request succeeded.
bool gone(const API& api, const QString& method, const QString& path, const QString& found, QString& why);

} // namespace SelfTest
