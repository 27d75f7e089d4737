#pragma once

#include "core/APIError.h"

#include <QString>
#include <exception>

// What the flows tell of an error a worker caught as an exception_ptr.
namespace Failure {

// The error's readable text.
inline QString text(const std::exception_ptr& error)
{
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
    }
    return QStringLiteral("unknown error");
}

// The server answered 404.
inline bool isMissing(const std::exception_ptr& error)
{
    try {
        std::rethrow_exception(error);
    } catch (const APIError& e) {
        return e.isMissing();
    } catch (...) {
    }
    return false;
}

} // namespace Failure
