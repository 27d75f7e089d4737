#pragma once

#include <QString>
#include <exception>
#include <string>

// The base of the errors this program throws: description() is plain English a
// user may read, and what() the same text in UTF-8 for code that only knows
// std::exception. Never a key, token or cookie in it.
class Error : public std::exception {
public:
    explicit Error(QString description)
        : description_(std::move(description))
        , what_(description_.toStdString())
    {
    }
    explicit Error(const std::string& description)
        : Error(QString::fromStdString(description))
    {
    }
    explicit Error(const char* description)
        : Error(QString::fromUtf8(description))
    {
    }

    const QString& description() const { return description_; }
    const char* what() const noexcept override { return what_.c_str(); }

private:
    QString description_;
    std::string what_;
};
