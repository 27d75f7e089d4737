#pragma once

#include <QString>
#include <exception>
#include <string>

// A sign-in outcome the user must read (expired, declined, an unusable answer).
class SignInError : public std::exception {
public:
    explicit SignInError(QString message) : message_(std::move(message)), what_(message_.toStdString()) {}

    const QString& message() const { return message_; }
    QString errorDescription() const { return message_; }
    const char* what() const noexcept override { return what_.c_str(); }

    static inline const QString expired = QStringLiteral("The code expired. Click Sign in to get a new one.");
    static inline const QString declined = QStringLiteral("The sign-in was declined in the browser.");

private:
    QString message_;
    std::string what_;
};
