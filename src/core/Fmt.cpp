#include "core/Fmt.h"

#include <QLocale>
#include <QRegularExpression>
#include <QTimeZone>
#include <algorithm>
#include <cmath>
#include <limits>

namespace Fmt {

namespace {

const QLocale& posix()
{
    static const QLocale locale = QLocale::c();
    return locale;
}

const QLocale& user()
{
    static const QLocale locale = QLocale::system();
    return locale;
}

// Whole numbers of a double, cut toward zero, kept inside the integer range.
qint64 truncated(double value)
{
    if (std::isnan(value))
        return 0;
    constexpr double limit = 9.0e15; // far beyond any duration, well inside qint64
    return qint64(std::trunc(std::clamp(value, -limit, limit)));
}

} // namespace

QString iso(const QDateTime& date)
{
    return date.toUTC().toString(Qt::ISODateWithMs);
}

QString isoPlain(const QDateTime& date)
{
    return date.toUTC().toString(Qt::ISODate);
}

std::optional<QDateTime> parseISO(const QString& text)
{
    // Internet date-time: full date, 'T', full time, optional fraction, then 'Z' or ±hh:mm.
    static const QRegularExpression form(
        QStringLiteral(R"(^(\d{4})-(\d{2})-(\d{2})T(\d{2}):(\d{2}):(\d{2})(?:\.(\d{1,9}))?(Z|[+-]\d{2}:\d{2})$)"));
    const auto m = form.match(text);
    if (!m.hasMatch())
        return std::nullopt;

    const QDate date(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    int ms = 0;
    if (m.hasCaptured(7))
        ms = m.captured(7).left(3).leftJustified(3, u'0').toInt();
    const QTime time(m.captured(4).toInt(), m.captured(5).toInt(), m.captured(6).toInt(), ms);
    if (!date.isValid() || !time.isValid())
        return std::nullopt;

    int offset = 0;
    const QString zone = m.captured(8);
    if (zone != u"Z") {
        const int hours = zone.mid(1, 2).toInt();
        const int minutes = zone.mid(4, 2).toInt();
        if (hours > 23 || minutes > 59)
            return std::nullopt;
        offset = (hours * 3600 + minutes * 60) * (zone.startsWith(u'-') ? -1 : 1);
    }
    return QDateTime(date, time, QTimeZone(offset)).toUTC();
}

QString day(const QDateTime& date)
{
    return posix().toString(date.toLocalTime(), u"yyyy-MM-dd");
}

QString stamp(const QDateTime& date)
{
    return posix().toString(date.toLocalTime(), u"yyyyMMdd-HHmmss");
}

QString human(const QDateTime& date)
{
    return user().toString(date.toLocalTime(), u"d MMM HH:mm");
}

QString duration(double seconds)
{
    const qint64 m = truncated(seconds / 60);
    if (m >= 60)
        return QStringLiteral("%1 h %2 m").arg(m / 60).arg(m % 60);
    return QStringLiteral("%1 m").arg(m);
}

QString clock(double seconds)
{
    const qint64 s = truncated(std::max(seconds, 0.0));
    if (s < 3600)
        return QStringLiteral("%1:%2").arg(s / 60).arg(s % 60, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1:%2:%3")
        .arg(s / 3600)
        .arg((s % 3600) / 60, 2, 10, QLatin1Char('0'))
        .arg(s % 60, 2, 10, QLatin1Char('0'));
}

} // namespace Fmt
