#include "session/Suggestion.h"

QString Suggestion::label() const
{
    return (project ? project->ws.name : QStringLiteral("Personal")) + QStringLiteral(" \u00B7 ") + reason;
}

bool operator==(const Suggestion& a, const Suggestion& b)
{
    if (a.project.has_value() != b.project.has_value())
        return false;
    if (a.project && a.project->ws.id != b.project->ws.id)
        return false;
    return a.reason == b.reason && a.autoFile == b.autoFile;
}
