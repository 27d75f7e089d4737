#pragma once

#include "platform/Error.h"

// A screen or sound capture that cannot start or cannot go on, described in
// plain English for a log line ("cannot open the X display \":3\"").
struct CaptureError : Error {
    using Error::Error;
};
