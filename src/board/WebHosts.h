#pragma once

#include <QString>
#include <QUrl>
#include <optional>

// Which web pages belong to the platform: the board's pages, the access
// gateway's login page, what stays in the board window and which cookies are
// ours. Every rule works on the cleaned platform base. Pure.
namespace WebHosts {

// A page of the board: on the base's own scheme, host and port, or over https on
// the service's domain or its "www." host.
bool isBoard(const QUrl& url, const QString& base);
// Our team's login page on the access gateway (https only).
bool isAuth(const QUrl& url);
// about:, blob:, data:, javascript:, board and gateway pages stay; the rest go
// to the browser.
bool staysInWindow(const QUrl& url, const QString& base);
bool isZelvanCookie(const QString& domain, const QString& base);
// The one-time sign-in link of the exchange, resolved on the base; nothing
// unless it is a board page, and https on an https base.
std::optional<QUrl> validAppSessionURL(const std::optional<QString>& text, const QString& base);

// The port a URL reaches: its own, else its scheme's (80, 443), else -1.
int effectivePort(const QUrl& url);

} // namespace WebHosts
