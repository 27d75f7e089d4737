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

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw WriteError(("cannot write " + path + ": " + file.errorString()).toStdString());
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    const QByteArray data = doc.toJson(QJsonDocument::Indented);
    if (file.write(data) != data.size() || !file.commit())
        throw WriteError(("cannot write " + path + ": " + file.errorString()).toStdString());
}

} // namespace JSONFile
