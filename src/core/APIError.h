#pragma once

#include "platform/Error.h"

#include <QString>

// A failed platform call. `status` is the HTTP status of the judged answer, or 0
// when there was none (transport failure, time-out, a format failure). The
// description is "reason (HTTP n)", or the reason alone when status is 0.
class APIError : public Error {
public:
    APIError(qint64 status, QString reason);

    qint64 status() const { return status_; }
    // The answer's own message, without the status.
    const QString& reason() const { return reason_; }

    // The server does not offer the endpoint (an older server).
    bool isMissing() const { return status_ == 404; }

private:
    qint64 status_;
    QString reason_;
};
