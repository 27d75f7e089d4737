#pragma once

#include "core/Url.h"

#include <QString>

// The platform's answer to a sign-in start.
struct DeviceStart {
    QString deviceCode; // secret: polled with, never shown or logged
    QString userCode;   // the short code the user compares in the browser
    Url verifyURL;      // absolute page on which the user approves
    double interval;    // seconds between polls, within 1...30
    double expires;     // lifetime of the codes in seconds, at least 30

    friend bool operator==(const DeviceStart&, const DeviceStart&) = default;
};
