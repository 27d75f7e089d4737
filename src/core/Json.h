#pragma once

#include <QDateTime>
#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <concepts>
#include <optional>
#include <stdexcept>
#include <vector>

// Strict coding of records kept in files: a required field that is missing or of
// the wrong type fails the whole record, optional fields are left out when absent
// (never written as null), dates are ISO 8601 UTC with whole seconds.
//
// A record is a struct with `QJsonObject toJson() const` and
// `static T fromJson(const QJsonObject&)`; fromJson reads its fields through
// Json::Reader and so throws Json::DecodeError on bad input.
namespace Json {

struct DecodeError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

template <class T>
concept Record = requires(const T& t, const QJsonObject& o)
{
    {
        t.toJson()
        } -> std::convertible_to<QJsonObject>;
    {
        T::fromJson(o)
        } -> std::same_as<T>;
};

template <class T>
struct Coder;

template <class T>
T decode(const QJsonValue& v)
{
    return Coder<T>::decode(v);
}
template <class T>
QJsonValue encode(const T& v)
{
    return Coder<T>::encode(v);
}

template <>
struct Coder<QString> {
    static QString decode(const QJsonValue& v);
    static QJsonValue encode(const QString& v) { return v; }
};
template <>
struct Coder<double> {
    static double decode(const QJsonValue& v);
    static QJsonValue encode(double v) { return v; }
};
template <>
struct Coder<qint64> {
    static qint64 decode(const QJsonValue& v);
    static QJsonValue encode(qint64 v) { return v; }
};
template <>
struct Coder<int> {
    static int decode(const QJsonValue& v);
    static QJsonValue encode(int v) { return v; }
};
template <>
struct Coder<bool> {
    static bool decode(const QJsonValue& v);
    static QJsonValue encode(bool v) { return v; }
};
template <>
struct Coder<QDateTime> {
    static QDateTime decode(const QJsonValue& v);
    static QJsonValue encode(const QDateTime& v);
};
template <>
struct Coder<QJsonObject> {
    static QJsonObject decode(const QJsonValue& v);
    static QJsonValue encode(const QJsonObject& v) { return v; }
};
template <Record T>
struct Coder<T> {
    static T decode(const QJsonValue& v)
    {
        if (!v.isObject())
            throw DecodeError("expected an object");
        return T::fromJson(v.toObject());
    }
    static QJsonValue encode(const T& v) { return v.toJson(); }
};
template <class T>
struct Coder<std::vector<T>> {
    static std::vector<T> decode(const QJsonValue& v)
    {
        if (!v.isArray())
            throw DecodeError("expected an array");
        std::vector<T> out;
        const QJsonArray items = v.toArray();
        out.reserve(size_t(items.size()));
        for (const QJsonValue& item : items)
            out.push_back(Json::decode<T>(item));
        return out;
    }
    static QJsonValue encode(const std::vector<T>& v)
    {
        QJsonArray items;
        for (const T& item : v)
            items.append(Json::encode(item));
        return items;
    }
};

// Reads the fields of one object; every failure throws DecodeError naming the key.
class Reader {
public:
    explicit Reader(const QJsonObject& object)
        : object_(object)
    {
    }

    template <class T>
    T get(const char* key) const
    {
        const auto it = object_.constFind(QLatin1String(key));
        if (it == object_.constEnd())
            throw DecodeError(std::string("missing key \"") + key + '"');
        return decodeField<T>(key, *it);
    }

    // Missing or null gives nothing; a value of the wrong type still fails.
    template <class T>
    std::optional<T> opt(const char* key) const
    {
        const auto it = object_.constFind(QLatin1String(key));
        if (it == object_.constEnd() || it->isNull())
            return std::nullopt;
        return decodeField<T>(key, *it);
    }

private:
    template <class T>
    static T decodeField(const char* key, const QJsonValue& v)
    {
        try {
            return Json::decode<T>(v);
        } catch (const DecodeError& e) {
            throw DecodeError(std::string(key) + ": " + e.what());
        }
    }

    const QJsonObject& object_;
};

// --- Tolerant readers, for answers from servers ---------------------------

// A JSON value as text: a string as it is, a number as its decimal text (a
// whole number without fraction), a boolean as "1" or "0"; otherwise nothing.
std::optional<QString> str(const QJsonValue& value);
// A JSON number; a boolean counts as 1 or 0, text does not count.
std::optional<double> number(const QJsonValue& value);

template <class T>
void put(QJsonObject& object, const char* key, const T& value)
{
    object.insert(QLatin1String(key), Json::encode(value));
}

template <class T>
void put(QJsonObject& object, const char* key, const std::optional<T>& value)
{
    if (value)
        object.insert(QLatin1String(key), Json::encode(*value));
}

} // namespace Json
