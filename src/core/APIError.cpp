#include "core/APIError.h"

namespace {

QString describe(qint64 status, const QString& reason)
{
    if (status == 0)
        return reason;
    return reason + QStringLiteral(" (HTTP ") + QString::number(status) + u')';
}

} // namespace

APIError::APIError(qint64 status, QString reason)
    : Error(describe(status, reason))
    , status_(status)
    , reason_(std::move(reason))
{
}
