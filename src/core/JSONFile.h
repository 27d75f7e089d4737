#pragma once

#include "core/Json.h"

#include <QByteArray>
#include <QJsonDocument>
#include <QString>
#include <optional>
#include <stdexcept>

// Records in files: pretty-printed JSON with sorted keys, written atomically
// (owner-only), read back strictly.
namespace JSONFile {

struct WriteError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The whole file's parsed JSON, or nothing for a missing, unreadable or malformed file.
std::optional<QJsonValue> readValue(const QString& path);
// Writes to a temporary file that replaces the target in one step; throws
// WriteError and leaves the target as it was when anything fails.
void writeValue(const QJsonValue& value, const QString& path);
// The same atomic, owner-only write for bytes already encoded.
void writeBytes(const QByteArray& data, const QString& path);

// Nothing on any failure: no file, bad JSON, a missing key, a wrong type, a bad date.
template <class T>
std::optional<T> read(const QString& path)
{
    const auto value = readValue(path);
    if (!value)
        return std::nullopt;
    try {
        return Json::decode<T>(*value);
    } catch (const Json::DecodeError&) {
        return std::nullopt;
    }
}

template <class T>
void write(const T& value, const QString& path)
{
    writeValue(Json::encode(value), path);
}

} // namespace JSONFile
