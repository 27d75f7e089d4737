#include "board/BoardNav.h"

#include "board/DeepLink.h"
#include "board/WebHosts.h"
#include "core/Clock.h"
#include "core/Log.h"
#include "core/Address.h"

#include <QUrlQuery>

BoardNav::BoardNav(Ports ports)
    : ports_(std::move(ports))
{
}

QUrl BoardNav::home() const
{
    if (auto url = DeepLink::board().webURL(ports_.base()))
        return *url;
    return QUrl(Address::defaultBase + QStringLiteral("/app"));
}

void BoardNav::navigate(const QUrl& url)
{
    lastRequested_ = url;
    if (ports_.signedIn() && !webSignedOut_) {
        if (hasWebSession(ports_.cookies(), ports_.base(), Clock::current().now()))
            load(url);
        else
            exchange(url);
        return;
    }
    load(url);
}

void BoardNav::load(const QUrl& url)
{
    lastRequested_ = url;
    ports_.load(url);
}

bool BoardNav::throttled() const
{
    return lastExchange_ && Clock::current().uptime() - *lastExchange_ <= exchangeInterval;
}

void BoardNav::exchange(const QUrl& target)
{
    if (exchanging_) {
        pendingTarget_ = target;
        return;
    }
    if (throttled()) {
        // A failing exchange must not loop.
        load(signinURL(target));
        return;
    }
    exchanging_ = true;
    lastExchange_ = Clock::current().uptime();
    std::weak_ptr<int> alive = alive_;
    ports_.exchange(ports_.base(), ports_.accountKey(), pathAndQuery(target),
                    [this, alive, target](AppSession::Result result) {
                        if (alive.lock())
                            handle(target, result);
                    });
}

void BoardNav::handle(const QUrl& target, const AppSession::Result& result)
{
    using K = AppSession::Result::Kind;
    exchanging_ = false;
    switch (result.kind) {
    case K::url:
        slog(QStringLiteral("board: web session from the account key (one-time link)"));
        pendingTarget_ = isHomePath(target) ? std::nullopt : std::optional(target);
        load(result.url);
        break;
    case K::refused:
        slog(QStringLiteral("board: /auth/app-session refused (") + QString::number(result.status)
             + QStringLiteral(") -> sign-in page"));
        pendingTarget_ = target;
        load(signinURL(target));
        break;
    case K::notYet:
        slog(QStringLiteral("board: /auth/app-session not on the site yet (") + QString::number(result.status)
             + QStringLiteral(") -> sign in once in the window"));
        pendingTarget_ = target;
        load(signinURL(target));
        break;
    case K::failed:
        slog(QStringLiteral("board: /auth/app-session failed: ") + Log::oneLine(result.message));
        load(target);
        break;
    }
}

BoardNav::Policy BoardNav::decide(const QUrl& url, bool isDownload, bool mainFrame)
{
    if (isDownload)
        return Policy::download;
    if (url.isEmpty())
        return Policy::allow;
    if (url.scheme().toLower() == QStringLiteral("zelvan")) {
        // A frame may hold another site's page: only the page itself acts.
        if (mainFrame)
            ports_.openDeepLink(url);
        else
            slog(QStringLiteral("board: a frame's zelvan: link ignored"));
        return Policy::cancel;
    }
    if (!mainFrame)
        return Policy::allow;
    const QString base = ports_.base();
    if (!WebHosts::staysInWindow(url, base)) {
        ports_.openBrowser(url);
        return Policy::cancel;
    }
    if (!WebHosts::isBoard(url, base))
        return Policy::allow;
    const QString path = url.path();
    if (path == QStringLiteral("/signout") || path == QStringLiteral("/signout/"))
        webSignedOut_ = true;
    if (QUrlQuery(url).hasQueryItem(QStringLiteral("out")))
        return Policy::allow;
    if (isSigninPage(url) && ports_.signedIn() && !webSignedOut_ && !exchanging_ && !throttled()) {
        exchange(nextTarget(url));
        return Policy::cancel;
    }
    return Policy::allow;
}

void BoardNav::pageFinished()
{
    const auto shown = ports_.shown();
    if (!shown || !pendingTarget_)
        return;
    if (!WebHosts::isBoard(*shown, ports_.base()) || isSigninPage(*shown)
        || shown->path().startsWith(QStringLiteral("/auth/")))
        return;
    const QUrl target = *pendingTarget_;
    pendingTarget_.reset();
    if (*shown != target)
        load(target);
}

void BoardNav::contentCrashed()
{
    slog(QStringLiteral("board: web content process ended -> reload"));
    if (lastRequested_)
        load(*lastRequested_);
}

void BoardNav::windowClosed()
{
    pendingTarget_.reset();
    webSignedOut_ = false;
}

void BoardNav::signedIn()
{
    webSignedOut_ = false;
    if (clearing_) {
        // The new session must not be deleted with the old one's cookies.
        signInWaiting_ = true;
        return;
    }
    const auto shown = ports_.shown();
    if (shown && isSigninPage(*shown))
        exchange(nextTarget(*shown));
}

void BoardNav::signedOut()
{
    const QString base = ports_.base();
    QList<QNetworkCookie> kept;
    for (const QNetworkCookie& c : ports_.cookies())
        if (WebHosts::isZelvanCookie(c.domain(), base))
            kept << c;
    if (auto request = signoutRequest(kept, base))
        ports_.signout(*request);
    clearing_ = true;
    std::weak_ptr<int> alive = alive_;
    const qsizetype count = kept.size();
    ports_.deleteCookies(kept, [this, alive, base, count] {
        if (!alive.lock())
            return;
        clearing_ = false;
        slog(QStringLiteral("board: cleared ") + QString::number(count) + u' ' + Address::serviceDomain
             + QStringLiteral(" cookie(s) from the window"));
        const QUrl signin(Address::clean(base) + QStringLiteral("/signin"));
        const bool hasView = ports_.shown().has_value();
        if (signin.isValid())
            ports_.load(signin);
        if (signInWaiting_) {
            signInWaiting_ = false;
            if (hasView && ports_.signedIn())
                exchange(nextTarget(signin));
        }
    });
}

QUrl BoardNav::nextTarget(const QUrl& signinPage) const
{
    const QUrlQuery query(signinPage);
    for (const auto& [name, value] : query.queryItems(QUrl::FullyDecoded)) {
        if (name != QStringLiteral("next"))
            continue;
        if (value.startsWith(u'/') && !value.startsWith(QStringLiteral("//"))) {
            const QUrl url(Address::clean(ports_.base()) + value);
            if (url.isValid() && !url.scheme().isEmpty())
                return url;
        }
        break;
    }
    return pendingTarget_ ? *pendingTarget_ : home();
}

QUrl BoardNav::signinURL(const QUrl& next) const
{
    const QString value = pathAndQuery(next).value_or(QStringLiteral("/app"));
    const QUrl url(Address::clean(ports_.base()) + QStringLiteral("/signin?next=")
                       + QString::fromLatin1(QUrl::toPercentEncoding(value, "/:@")),
                   QUrl::StrictMode);
    if (!url.isValid() || url.scheme().isEmpty() || url.host().isEmpty())
        return home();
    return url;
}

bool BoardNav::isSigninPage(const QUrl& url) const
{
    const QString path = url.path();
    return WebHosts::isBoard(url, ports_.base())
        && (path == QStringLiteral("/signin") || path == QStringLiteral("/signin/"));
}

std::optional<QString> BoardNav::pathAndQuery(const QUrl& url)
{
    if (!url.isValid())
        return std::nullopt;
    QString out = url.path(QUrl::FullyEncoded);
    if (out.isEmpty())
        out = QStringLiteral("/");
    if (url.hasQuery())
        out += u'?' + url.query(QUrl::FullyEncoded);
    return out;
}

bool BoardNav::isHomePath(const QUrl& url)
{
    return (url.path() == QStringLiteral("/app") || url.path() == QStringLiteral("/app/")) && !url.hasFragment();
}

bool BoardNav::hasWebSession(const QList<QNetworkCookie>& cookies, const QString& base, const QDateTime& now)
{
    for (const QNetworkCookie& c : cookies) {
        if (c.name() != "zv_sess" && c.name() != "CF_Authorization")
            continue;
        if (!WebHosts::isZelvanCookie(c.domain(), base))
            continue;
        if (c.isSessionCookie() || c.expirationDate() > now)
            return true;
    }
    return false;
}

std::optional<Http::Request> BoardNav::signoutRequest(const QList<QNetworkCookie>& kept, const QString& base)
{
    const QString b = Address::clean(base);
    const QUrl url(b + QStringLiteral("/auth/signout"), QUrl::StrictMode);
    const QString host = url.host().toLower();
    if (!url.isValid() || host.isEmpty())
        return std::nullopt;
    if (url.scheme() != QStringLiteral("https") && !(url.scheme() == QStringLiteral("http") && Address::isLocal(b)))
        return std::nullopt;
    for (const QNetworkCookie& c : kept) {
        if (c.name() != "zv_sess")
            continue;
        QString domain = c.domain().toLower();
        while (domain.startsWith(u'.'))
            domain.remove(0, 1);
        if (domain != host && !host.endsWith(u'.' + domain))
            continue;
        Http::Request r;
        r.method = "POST";
        r.url = url.toEncoded();
        r.headers = {{"Content-Type", "application/json"}, {"Origin", b.toUtf8()}, {"Cookie", "zv_sess=" + c.value()}};
        r.body = "{}";
        r.timeout = 10;
        r.followRedirects = false;
        return r;
    }
    return std::nullopt;
}
