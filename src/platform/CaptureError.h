#pragma once

#include <QString>
#include <stdexcept>

// A screen or sound capture that cannot start or cannot go on. The message is
// plain English for a log line ("cannot open the X display \":3\"").
class CaptureError : public std::runtime_error {
public:
    explicit CaptureError(const QString& message)
        : std::runtime_error(message.toStdString())
    {
    }
    QString message() const { return QString::fromUtf8(what()); }
};
