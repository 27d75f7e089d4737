#pragma once

#include "session/RouteResult.h"

#include <QString>
#include <optional>

// Where a finished session should go: a project, or Personal when `project` is empty.
struct Suggestion {
    std::optional<RouteResult> project;
    QString reason;
    bool autoFile = false; // file without asking the user

    // "Bramel · with Oxel, Tamsk", "Personal · not clearly one project".
    QString label() const;

    // The same project (by workspace id), reason and flag; scores and reason lists
    // of the projects do not count.
    friend bool operator==(const Suggestion& a, const Suggestion& b);
};
