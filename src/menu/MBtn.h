#pragma once

#include <QString>
#include <optional>

// One button or selectable row of the popover. What it does lives in the menu
// model under its id.
struct MBtn {
    QString id;
    QString title;
    bool primary = false;       // the card's main button
    std::optional<QString> kbd; // shortcut hint in Mac glyphs, such as "⌥⌘P"

    bool operator==(const MBtn&) const = default;
};
