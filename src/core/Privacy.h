#pragma once

#include <QSet>
#include <QString>
#include <QStringList>
#include <optional>

// Decides what may be recorded of the application in front: password managers and
// private browser windows become "(private)" with no title, so neither their name
// nor their content reaches a session, a work-day file or the server. Pure; the
// lists are built once and callable from any thread.
namespace Privacy {

struct Result {
    QString app;
    std::optional<QString> title;
    bool operator==(const Result&) const = default;
};

// The label that stands in for a private application.
inline const QString privateLabel = QStringLiteral("(private)");

// Lower-cased application names, matched whole.
const QSet<QString>& passwordApps();
// Application-id prefixes, matched case-sensitively at the start of the id. On
// Linux the id is the Flatpak or desktop-entry id, else the executable name.
const QStringList& passwordBundles();
// Substrings of the lower-cased window title that mark a private browser window.
const QStringList& privateMarkers();

// Longest window title kept, in characters.
constexpr qsizetype maxTitle = 300;

Result classify(const QString& app, const std::optional<QString>& bundleID, const std::optional<QString>& title,
                bool includeTitles);

} // namespace Privacy
