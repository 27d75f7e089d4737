#include "core/APIError.h"

APIError::APIError(qint64 status, QString message)
    : status_(status), message_(std::move(message)), what_(errorDescription().toStdString())
{
}

QString APIError::errorDescription() const
{
    if (status_ == 0)
        return message_;
    return message_ + QStringLiteral(" (HTTP ") + QString::number(status_) + u')';
}
