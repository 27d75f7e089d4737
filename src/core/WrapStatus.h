#pragma once

#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

// The state of the end-of-day summary.
struct WrapStatus {
    struct Card {
        QString id;
        QString title;
        friend bool operator==(const Card&, const Card&) = default;
    };

    QString status = QStringLiteral("none"); // the server's word ("running" …)
    std::optional<QString> summary;
    QStringList highlights;
    QStringList tomorrow;
    std::vector<Card> cards;
    std::optional<QString> error;

    friend bool operator==(const WrapStatus&, const WrapStatus&) = default;
};
