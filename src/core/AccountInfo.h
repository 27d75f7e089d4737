#pragma once

#include <QString>
#include <optional>

// The signed-in platform account, as the account answer describes it.
struct AccountInfo {
    QString email;
    std::optional<QString> name;         // trimmed; absent when blank
    std::optional<QString> personalRoot; // API root of the person's own library

    friend bool operator==(const AccountInfo&, const AccountInfo&) = default;
};
