#pragma once

#include <QDateTime>
#include <QString>
#include <QUuid>
#include <optional>

// One line of the recording panel's feed. It lives here, below the session layer,
// because the recorder raises feed events that the panel shows.
struct FeedItem {
    // Declaration order is the display order of the kinds; the label is shown
    // before the event's text.
    enum class Kind { heard, nowIn, slide, pinned, noted, tip, card, info };

    static QString label(Kind kind);
    // Exactly the eight labels, case-sensitive.
    static std::optional<Kind> kindFromLabel(const QString& label);

    FeedItem(Kind kind, QString text, QDateTime at);

    QUuid id; // fresh and random for every item made
    Kind kind;
    QString text;
    QDateTime at;

    bool operator==(const FeedItem&) const = default;
};
