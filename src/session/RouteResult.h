#pragma once

#include "core/Workspace.h"

#include <QStringList>

// One project's answer to "does this session belong here?".
struct RouteResult {
    Workspace ws;
    double score = 0; // 0…1 once scoreAll has clamped it
    QStringList reasons;

    // The score as a whole percentage, halves away from zero; a score that is
    // not a number counts as 0.
    int percent() const;
};
