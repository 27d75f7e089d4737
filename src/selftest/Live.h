#pragma once

#include "selftest/Suites.h"

#include <QJsonValue>
#include <QString>
#include <exception>

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

// The readable description of whatever a request threw.
QString describe(const std::exception& e);

} // namespace SelfTest
