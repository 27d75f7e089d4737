#pragma once

#include <QDateTime>
#include <QString>
#include <optional>

// Date and duration texts. Machine formats (ISO 8601, day, stamp) use Western
// digits and the Gregorian calendar whatever the user's locale; human() follows it.
namespace Fmt {

// "2025-01-31T08:05:03.120Z": UTC with milliseconds.
QString iso(const QDateTime& date);
// "2025-01-31T08:05:03Z": UTC, whole seconds (a fraction is cut).
QString isoPlain(const QDateTime& date);
// Accepts both forms above (and a numeric zone offset); anything else gives nothing.
std::optional<QDateTime> parseISO(const QString& text);

// Local time: "2025-01-31", "20250131-090503" and, in the user's locale, "31 Jan 09:05".
QString day(const QDateTime& date);
QString stamp(const QDateTime& date);
QString human(const QDateTime& date);

// "0 m", "1 h 2 m": whole minutes, cut toward zero.
QString duration(double seconds);
// "0:59", "59:59", "1:00:00": negative and NaN count as 0.
QString clock(double seconds);

} // namespace Fmt
