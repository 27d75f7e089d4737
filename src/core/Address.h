#pragma once

#include "core/Url.h"

#include <QString>
#include <optional>

// The rules for the web platform's base addresses, shared by the HTTP client,
// the workspace records, the settings, the account protocol and the board.
namespace Address {

// The service's web address, used when the settings hold no platform base.
inline const QString defaultBase = QStringLiteral("https://zelvan.app");
// The service's own domain (its web host is "www." + it) and the team's login
// host on the access gateway (API::accessLoginDomain).
inline const QString serviceDomain = QStringLiteral("zelvan.app");
inline const QString gatewayLoginHost = QStringLiteral("zelvan.cloudflareaccess.com");

// Trimmed of white space and line breaks, then every trailing "/" removed.
QString clean(const QString& text);

// The base names this machine: its host, exactly as written, is "127.0.0.1",
// "localhost" or "::1", or ends in ".localhost". Case matters.
bool isLocal(const QString& base);

// The text when it is already an absolute URL; otherwise the text as a path
// below the cleaned base. Nothing when neither forms an absolute URL.
std::optional<Url> resolve(const QString& text, const QString& base);

// Scheme, host and port of the URL equal those of the base (letter case aside).
bool sameOrigin(const Url& url, const QString& base);

} // namespace Address
