#pragma once

#include "core/Workspace.h"

#include <QString>
#include <optional>

// One of the person's to-dos as the server listed it.
struct Todo {
    int n = 0; // the number shown: the server's "n", else the 1-based position
    QString id;
    QString title;  // the id when the server gave none
    QString status; // the server's word as it came, empty when absent
    std::optional<QString> topic;
    std::optional<QString> effort;
    std::optional<Workspace> ws; // set by callers that merge several workspaces

    friend bool operator==(const Todo&, const Todo&) = default;
};
