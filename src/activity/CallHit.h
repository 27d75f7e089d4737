#pragma once

#include <QString>
#include <optional>

// A call found on the desktop: the service's name ("Zoom", "Google Meet") and the
// full title of its window when one was found.
struct CallHit {
    QString app;
    std::optional<QString> title;
    bool operator==(const CallHit&) const = default;
};
