#pragma once

#include "platform/Error.h"

#include <QString>

// A sign-in outcome the user must read (expired, declined, an unusable answer).
class SignInError : public Error {
public:
    using Error::Error;

    static inline const QString expired = QStringLiteral("The code expired. Click Sign in to get a new one.");
    static inline const QString declined = QStringLiteral("The sign-in was declined in the browser.");
};
