#include "core/JSONFile.h"

#include <QFile>
#include <QSaveFile>

namespace JSONFile {

std::optional<QJsonValue> readValue(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll(), &error);
    if (error.error != QJsonParseError::NoError)
        return std::nullopt;
    if (doc.isArray())
        return QJsonValue(doc.array());
    if (doc.isObject())
        return QJsonValue(doc.object());
    return std::nullopt;
}

void writeValue(const QJsonValue& value, const QString& path)
{
    QJsonDocument doc;
    if (value.isArray())
        doc.setArray(value.toArray());
    else if (value.isObject())
        doc.setObject(value.toObject());
    else
        throw WriteError("only an object or an array can be written to " + path.toStdString());
    writeBytes(doc.toJson(QJsonDocument::Indented), path);
}

void writeBytes(const QByteArray& data, const QString& path)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw WriteError(("cannot write " + path + ": " + file.errorString()).toStdString());
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    // A write cut short (a full disk, a file-size limit) can still be reported
    // whole; the size on disk is what counts before the file replaces the old one.
    const bool whole = file.write(data) == data.size() && file.flush() && file.size() == data.size();
    if (!whole)
        file.cancelWriting();
    if (!whole || !file.commit())
        throw WriteError(("cannot write " + path + ": " + file.errorString()).toStdString());
}

} // namespace JSONFile
