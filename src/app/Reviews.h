#pragma once

#include <QJsonValue>
#include <QString>
#include <optional>
#include <vector>

// One open suggestion of a call's review: the server's key for it, the card
// title and the reason given.
struct ReviewSuggestion {
    QString i;
    QString title;
    std::optional<QString> why;
    friend bool operator==(const ReviewSuggestion&, const ReviewSuggestion&) = default;
};

// The suggestions of a review (the value of "review" in a call's detail) that
// are neither accepted nor dismissed, in order. Entries without "i" are keyed by
// their position in the array; anything malformed gives an empty list.
std::vector<ReviewSuggestion> openSuggestions(const QJsonValue& review);
