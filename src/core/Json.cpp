#include "core/Json.h"

#include "core/Fmt.h"

#include <QLocale>
#include <QRegularExpression>
#include <cmath>
#include <limits>

namespace Json {

QString Coder<QString>::decode(const QJsonValue& v)
{
    if (!v.isString())
        throw DecodeError("expected a string");
    return v.toString();
}

double Coder<double>::decode(const QJsonValue& v)
{
    if (!v.isDouble())
        throw DecodeError("expected a number");
    return v.toDouble();
}

qint64 Coder<qint64>::decode(const QJsonValue& v)
{
    if (!v.isDouble())
        throw DecodeError("expected a number");
    const double d = v.toDouble();
    // 2^63 itself is not representable as qint64, hence the strict upper bound.
    if (d != std::trunc(d) || d < -9223372036854775808.0 || d >= 9223372036854775808.0)
        throw DecodeError("expected a whole number");
    return v.toInteger();
}

int Coder<int>::decode(const QJsonValue& v)
{
    const qint64 n = Coder<qint64>::decode(v);
    if (n < std::numeric_limits<int>::min() || n > std::numeric_limits<int>::max())
        throw DecodeError("number out of range");
    return int(n);
}

bool Coder<bool>::decode(const QJsonValue& v)
{
    if (!v.isBool())
        throw DecodeError("expected true or false");
    return v.toBool();
}

QDateTime Coder<QDateTime>::decode(const QJsonValue& v)
{
    // Only the form encode() writes: a fraction or an offset means the file is
    // not one of ours, so the record does not load.
    static const QRegularExpression form(QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\dZ$"));
    if (!v.isString() || !form.match(v.toString()).hasMatch())
        throw DecodeError("expected an ISO 8601 UTC date in whole seconds");
    auto date = Fmt::parseISO(v.toString());
    if (!date)
        throw DecodeError("expected an ISO 8601 date");
    return *date;
}

QJsonValue Coder<QDateTime>::encode(const QDateTime& v)
{
    return Fmt::isoPlain(v);
}

QJsonObject Coder<QJsonObject>::decode(const QJsonValue& v)
{
    if (!v.isObject())
        throw DecodeError("expected an object");
    return v.toObject();
}

std::optional<double> number(const QJsonValue& value)
{
    if (value.isBool())
        return value.toBool() ? 1.0 : 0.0;
    if (value.isDouble())
        return value.toDouble();
    return std::nullopt;
}

std::optional<QString> str(const QJsonValue& value)
{
    if (value.isString())
        return value.toString();
    if (value.isBool())
        return QString::fromLatin1(value.toBool() ? "1" : "0");
    if (value.isDouble()) {
        const double d = value.toDouble();
        if (d == std::trunc(d) && std::abs(d) < 9.0e15)
            return QString::number(qint64(d));
        // Integers beyond double precision arrive exactly as int64.
        if (d == std::trunc(d) && std::abs(d) < 9.2e18)
            return QString::number(value.toInteger());
        return QString::number(d, 'g', QLocale::FloatingPointShortest);
    }
    return std::nullopt;
}

} // namespace Json
