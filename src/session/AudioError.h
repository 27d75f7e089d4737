#pragma once

#include "platform/Error.h"

#include <QString>

// Failures of the audio side. The description is the carried message.
class AudioError : public Error {
public:
    enum class Kind { format, convert, exportFailed };

    static AudioError format(const QString& message) { return {Kind::format, message}; }
    static AudioError convert(const QString& message) { return {Kind::convert, message}; }
    static AudioError exportFailed(const QString& message) { return {Kind::exportFailed, message}; }

    Kind kind() const { return kind_; }

private:
    AudioError(Kind kind, const QString& message)
        : Error(message)
        , kind_(kind)
    {
    }
    Kind kind_;
};
