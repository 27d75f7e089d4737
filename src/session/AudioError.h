#pragma once

#include <QString>
#include <stdexcept>

// Failures of the audio side. The description is the carried message.
class AudioError : public std::runtime_error {
public:
    enum class Kind { format, convert, exportFailed };

    static AudioError format(const QString& message) { return {Kind::format, message}; }
    static AudioError convert(const QString& message) { return {Kind::convert, message}; }
    static AudioError exportFailed(const QString& message) { return {Kind::exportFailed, message}; }

    Kind kind() const { return kind_; }
    QString description() const { return QString::fromUtf8(what()); }

private:
    AudioError(Kind kind, const QString& message) : std::runtime_error(message.toStdString()), kind_(kind) {}
    Kind kind_;
};
