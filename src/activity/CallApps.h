#pragma once

#include <QString>
#include <optional>
#include <utility>
#include <vector>

// What calls look like: call applications and browsers by application-id prefix,
// web-call services by window title, and the title a recorded call gets. Pure.
namespace CallApps {

// (prefix, name) rows, tried in order; the first prefix that begins the id names it.
using Table = std::vector<std::pair<QString, QString>>;
const Table& native();
const Table& browsers();

// The call application or browser an application id belongs to; nullopt for others.
std::optional<QString> nativeName(const QString& bundleID);
std::optional<QString> browserName(const QString& bundleID);
// The web-call service a browser window's title names ("Google Meet", "Zoom", …).
std::optional<QString> webCall(const QString& title);
// The window title without browser and service suffixes, at most 120 characters;
// a title that says nothing gives "<app> call · <day and time>".
QString recordingTitle(const QString& app, const std::optional<QString>& windowTitle);

} // namespace CallApps
