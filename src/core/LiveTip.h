#pragma once

#include <QString>
#include <optional>

// One live coaching tip during a recording.
struct LiveTip {
    QString title; // never blank
    QString body;
    std::optional<QString> cardTitle; // trimmed, never empty
    std::optional<QString> cardWhy;

    friend bool operator==(const LiveTip&, const LiveTip&) = default;
};
