#pragma once

#include <QString>
#include <QUrl>
#include <functional>
#include <optional>

// A "zelvan:" link (with or without "//") and the board page it stands for.
struct DeepLink {
    enum class Kind { project, card, session, board };

    Kind kind = Kind::board;
    QString slug; // project and card
    QString id;   // card and session

    static DeepLink project(const QString& slug) { return {Kind::project, slug, {}}; }
    static DeepLink card(const QString& slug, const QString& id) { return {Kind::card, slug, id}; }
    static DeepLink session(const QString& id) { return {Kind::session, {}, id}; }
    static DeepLink board() { return {}; }

    // Read by hand: QUrl treats the opaque "zelvan:board" and the empty-host
    // "zelvan:///board" forms in its own way.
    static std::optional<DeepLink> parse(const QString& link);

    using Known = std::function<std::optional<QUrl>(const QString& sessionID)>;
    // The board page on the cleaned base; `known` may name a session's page.
    std::optional<QUrl> webURL(const QString& base, const Known& known = {}) const;

    // The "zelvan:" link of a board page: home or a session page.
    static std::optional<QUrl> from(const QUrl& web, const QString& base);

    // For log lines: card(slug: "p1", id: "7"), board; each value cut to 80
    // characters and kept on one line.
    QString describe() const;

    friend bool operator==(const DeepLink&, const DeepLink&) = default;
};
