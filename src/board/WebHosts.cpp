#include "board/WebHosts.h"

#include "core/API.h"
#include "core/Address.h"

namespace WebHosts {

namespace {

QUrl baseURL(const QString& base)
{
    return QUrl(Address::clean(base), QUrl::StrictMode);
}

} // namespace

int effectivePort(const QUrl& url)
{
    const QString scheme = url.scheme().toLower();
    const int fallback = scheme == QStringLiteral("https") ? 443 : scheme == QStringLiteral("http") ? 80 : -1;
    return url.port(fallback);
}

bool isBoard(const QUrl& url, const QString& base)
{
    const QString scheme = url.scheme().toLower();
    const QString host = url.host().toLower();
    if (host.isEmpty() || (scheme != QStringLiteral("http") && scheme != QStringLiteral("https")))
        return false;
    const QUrl b = baseURL(base);
    if (b.isValid() && !b.host().isEmpty() && host == b.host().toLower()) {
        const QString baseScheme = b.scheme().isEmpty() ? QStringLiteral("https") : b.scheme().toLower();
        QUrl schemed = b;
        schemed.setScheme(baseScheme);
        // Another service on the same machine is not the board.
        return scheme == baseScheme && effectivePort(url) == effectivePort(schemed);
    }
    return scheme == QStringLiteral("https")
        && (host == Address::serviceDomain || host == QStringLiteral("www.") + Address::serviceDomain);
}

bool isAuth(const QUrl& url)
{
    // Cookies are kept for our team's login host only, so only it counts.
    return url.scheme().toLower() == QStringLiteral("https") && url.host().toLower() == Address::gatewayLoginHost;
}

bool staysInWindow(const QUrl& url, const QString& base)
{
    const QString scheme = url.scheme().toLower();
    if (scheme == QStringLiteral("about") || scheme == QStringLiteral("blob") || scheme == QStringLiteral("data")
        || scheme == QStringLiteral("javascript"))
        return true;
    return isBoard(url, base) || isAuth(url);
}

bool isZelvanCookie(const QString& domain, const QString& base)
{
    QString d = domain.toLower();
    while (d.startsWith(u'.'))
        d.remove(0, 1);
    if (d.isEmpty())
        return false;
    const QUrl b = baseURL(base);
    if (b.isValid() && !b.host().isEmpty() && d == b.host().toLower())
        return true;
    return d == Address::serviceDomain || d.endsWith(u'.' + Address::serviceDomain) || d == Address::gatewayLoginHost;
}

std::optional<QUrl> validAppSessionURL(const std::optional<QString>& text, const QString& base)
{
    if (!text)
        return std::nullopt;
    const auto resolved = Address::resolve(*text, base);
    if (!resolved)
        return std::nullopt;
    const QUrl url = QUrl::fromEncoded(resolved->toEncoded(), QUrl::StrictMode);
    if (!url.isValid() || !isBoard(url, base))
        return std::nullopt;
    const QUrl b = baseURL(base);
    if (b.isValid() && b.scheme() == QStringLiteral("https") && url.scheme() != QStringLiteral("https"))
        return std::nullopt;
    return url;
}

} // namespace WebHosts
