#pragma once

#include <QString>
#include <exception>
#include <string>

// A failed platform call. `status` is the HTTP status of the judged answer, or 0
// when there was none (transport failure, time-out, a format failure).
class APIError : public std::exception {
public:
    APIError(qint64 status, QString message);

    qint64 status() const { return status_; }
    const QString& message() const { return message_; }

    // The server does not offer the endpoint (an older server).
    bool isMissing() const { return status_ == 404; }
    // "message (HTTP n)", or the message alone when status is 0.
    QString errorDescription() const;

    const char* what() const noexcept override { return what_.c_str(); }

private:
    qint64 status_;
    QString message_;
    std::string what_;
};
