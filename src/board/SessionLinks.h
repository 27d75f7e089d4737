#pragma once

#include <QString>
#include <QUrl>
#include <optional>

class Accounts;
class Settings;

// The web page of each recorded session, remembered so that a session link
// opens exactly that page later: the newest 200, in the settings' store under
// "board.sessionLinks" as JSON text of [id, page] pairs, oldest first.
namespace SessionLinks {

inline constexpr int limit = 200;

void remember(Settings& settings, const QString& id, const std::optional<QUrl>& page);
// The remembered page, else the last filing's page when it is that session.
std::optional<QUrl> link(Accounts& accounts, const QString& id);

} // namespace SessionLinks
