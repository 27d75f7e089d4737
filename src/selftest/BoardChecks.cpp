#include "board/AppSession.h"
#include "board/BoardLook.h"
#include "board/BoardNav.h"
#include "board/DeepLink.h"
#include "board/DockPolicy.h"
#include "board/DownloadFiles.h"
#include "board/Notify.h"
#include "board/WebHosts.h"
#include "core/API.h"
#include "core/Address.h"
#include "platform/Wording.h"
#include "selftest/Report.h"
#include "selftest/SelfTest.h"
#include "selftest/Suites.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

QString text(const QUrl& url)
{
    return QString::fromUtf8(url.toEncoded());
}

} // namespace

namespace SelfTest {

void boardChecks()
{
    const QString b = Address::defaultBase;
    const QString d = Address::serviceDomain;
    const QString l = QStringLiteral("http://127.0.0.1:7440");
    const QString t = Address::gatewayLoginHost;
    const QString g = API::accessLoginDomain;
    const QString foreign = QStringLiteral("example.org");
    const QString lookAlike = QStringLiteral("www.") + d + QStringLiteral(".example.net");
    const QString otherSite = QStringLiteral("github.com");
    const QString legacyHost = QStringLiteral("bramel.") + d;

    report().section(QStringLiteral("board window, deep links, notifications"));

    const auto web = [&](const QString& link, const DeepLink::Known& known = {}) -> std::optional<QString> {
        const auto parsed = DeepLink::parse(link);
        if (!parsed)
            return std::nullopt;
        const auto url = parsed->webURL(b, known);
        if (!url)
            return std::nullopt;
        return text(*url);
    };

    const std::vector<std::pair<QString, std::optional<QString>>> links{
        {QStringLiteral("zelvan://board"), b + QStringLiteral("/app")},
        {QStringLiteral("zelvan:board"), b + QStringLiteral("/app")},
        {QStringLiteral("zelvan:///board"), b + QStringLiteral("/app")},
        {QStringLiteral("ZELVAN://board/"), b + QStringLiteral("/app")},
        {QStringLiteral("zelvan://p/bramel"), b + QStringLiteral("/app/p/bramel/#/board")},
        {QStringLiteral("zelvan://p/bramel/card/t:42"), b + QStringLiteral("/app/p/bramel/#/board?card=t%3A42")},
        {QStringLiteral("zelvan://p/tova%20rind/card/qzk"), b + QStringLiteral("/app/p/tova%20rind/#/board?card=qzk")},
        {QStringLiteral("zelvan://session/rec:20261031-1"), b + QStringLiteral("/app/r/rec%3A20261031-1")},
        {QStringLiteral("zelvan://p//card/x"), std::nullopt},
        {QStringLiteral("zelvan://p/bramel/card"), std::nullopt},
        {QStringLiteral("zelvan://") + foreign + QStringLiteral("/app"), std::nullopt},
        {b + QStringLiteral("/app"), std::nullopt},
    };
    for (const auto& [input, expected] : links) {
        const auto got = web(input);
        check(got == expected,
              QStringLiteral("deep link ") + input + QStringLiteral(" → ")
                  + expected.value_or(QStringLiteral("ignored")),
              got.value_or(QStringLiteral("nil")));
    }

    const QString knownLink = b + QStringLiteral("/app/p/bramel/#/library/call/rec%3A9");
    const auto viaKnown = web(QStringLiteral("zelvan://session/rec:9"), [&](const QString& id) -> std::optional<QUrl> {
        if (id == QStringLiteral("rec:9"))
            return QUrl::fromEncoded(knownLink.toUtf8());
        return std::nullopt;
    });
    check(viaKnown == knownLink, QStringLiteral("zelvan://session/<id> uses the Library link the app knows"), {});

    const auto localCard = DeepLink::card(QStringLiteral("bramel"), QStringLiteral("t:1")).webURL(l + u'/');
    check(localCard && text(*localCard) == l + QStringLiteral("/app/p/bramel/#/board?card=t%3A1"),
          QStringLiteral("deep links follow platformBase (local dev)"), {});

    bool stays = true;
    for (const QString& u : {b + QStringLiteral("/app"), QStringLiteral("https://") + d + QStringLiteral("/app/p/x/"),
                             QStringLiteral("https://") + t + QStringLiteral("/cdn-cgi/access/login/www.") + d,
                             QStringLiteral("about:blank"), QStringLiteral("blob:") + b + QStringLiteral("/1")}) {
        if (!WebHosts::staysInWindow(QUrl(u), b)) {
            stays = false;
            break;
        }
    }
    check(stays, QStringLiteral("platform + Access login stay in the window"), {});

    QStringList kept;
    for (const QString& u :
         {QStringLiteral("https://") + legacyHost + QStringLiteral("/#/board"),
          QStringLiteral("https://") + lookAlike + QStringLiteral("/app"),
          QStringLiteral("https://") + foreign + QStringLiteral("/?u=www.") + d,
          QStringLiteral("http://www.") + d + QStringLiteral("/app"), QStringLiteral("mailto:a@example.org"),
          QStringLiteral("https://") + otherSite + QStringLiteral("/x")})
        if (WebHosts::staysInWindow(QUrl(u), b))
            kept << u;
    check(kept.isEmpty(), QStringLiteral("other sites, legacy servers and plain http go to the browser"),
          kept.join(QStringLiteral(", ")));

    check(WebHosts::isBoard(QUrl(l + QStringLiteral("/app")), l),
          QStringLiteral("a local platformBase is the board host"), {});

    const auto body = [](const QString& url) {
        return QJsonDocument(QJsonObject{{QStringLiteral("url"), url}}).toJson(QJsonDocument::Compact);
    };
    const QUrl oneTime(b + QStringLiteral("/auth/app?t=vjx"));
    const std::vector<std::tuple<QString, int, QByteArray, AppSession::Result>> sessions{
        {QStringLiteral("app-session 200 → load the one-time URL"), 200, body(b + QStringLiteral("/auth/app?t=vjx")),
         AppSession::Result::link(oneTime)},
        {QStringLiteral("app-session relative url resolved on base"), 200, body(QStringLiteral("/auth/app?t=vjx")),
         AppSession::Result::link(oneTime)},
        {QStringLiteral("app-session url on another host refused"), 200,
         body(QStringLiteral("https://") + foreign + QStringLiteral("/auth/app?t=vjx")),
         AppSession::Result::failed(QStringLiteral("no usable url in the answer"))},
        {QStringLiteral("app-session http url refused on an https base"), 200,
         body(QStringLiteral("http://www.") + d + QStringLiteral("/auth/app?t=vjx")),
         AppSession::Result::failed(QStringLiteral("no usable url in the answer"))},
        {QStringLiteral("app-session 404 → sign in once in the window"), 404, QByteArray(R"({"error":"not found"})"),
         AppSession::Result::notYet(404)},
        {QStringLiteral("app-session 401 → sign-in page"), 401, QByteArray("{}"), AppSession::Result::refused(401)},
    };
    for (const auto& [name, status, data, expected] : sessions)
        check(AppSession::parse(status, data, b) == expected, name, {});

    bool cookies = true;
    for (const QString& dom : {u'.' + d, QStringLiteral("www.") + d, d, t})
        cookies = cookies && WebHosts::isZelvanCookie(dom, b);
    for (const QString& dom : {otherSite, u'.' + g, QStringLiteral("other.") + g, d + QStringLiteral(".example.net")})
        cookies = cookies && !WebHosts::isZelvanCookie(dom, b);
    check(cookies,
          QStringLiteral("Sign out clears ") + d + QStringLiteral(" (+ Zelvan's Access) cookies, nothing else"), {});

    const std::vector<std::tuple<QString, std::optional<QString>, QString>> notes{
        {QStringLiteral("notification click → its board page"), b + QStringLiteral("/app/r/x"),
         b + QStringLiteral("/app/r/x")},
        {QStringLiteral("notification with a foreign url → the board"), QStringLiteral("https://") + foreign + u'/',
         b + QStringLiteral("/app")},
        {QStringLiteral("notification without url → the board"), std::nullopt, b + QStringLiteral("/app")},
    };
    for (const auto& [name, url, expected] : notes) {
        const QUrl got = Notify::target(url, b);
        check(!got.isEmpty() && text(got) == expected, name, {});
    }

    using DockPolicy::Activation;
    check(DockPolicy::change(Activation::accessory, true) == Activation::regular,
          Wording::shown(QStringLiteral("board opens: accessory → regular (Dock icon)")), {});
    check(DockPolicy::change(Activation::regular, false) == Activation::accessory,
          Wording::shown(QStringLiteral("board closes: regular → accessory (menu bar only)")), {});
    check(!DockPolicy::change(Activation::regular, true) && !DockPolicy::change(Activation::accessory, false),
          QStringLiteral("no policy change when it is already right"), {});

    check(BoardNav::pathAndQuery(QUrl(b + QStringLiteral("/app/p/x/?a=1#/board"))) == QStringLiteral("/app/p/x/?a=1"),
          QStringLiteral("next = path + query (no fragment)"), {});
    check(BoardNav::isHomePath(QUrl(b + QStringLiteral("/app")))
              && !BoardNav::isHomePath(QUrl(b + QStringLiteral("/app/p/x/#/board"))),
          QStringLiteral("home path"), {});

    const auto darkColour = BoardLook::parseCSSColor(QStringLiteral("rgb(7, 8, 11)"));
    const auto lightColour = BoardLook::parseCSSColor(QStringLiteral("rgb(251, 251, 250)"));
    check(darkColour && BoardLook::luminance(*darkColour) < 0.1 && lightColour
              && BoardLook::luminance(*lightColour) > 0.9
              && !BoardLook::parseCSSColor(QStringLiteral("rgba(0, 0, 0, 0)")),
          QStringLiteral("page colour → dark / light window chrome"), {});

    const QString folder = QDir::tempPath() + QStringLiteral("/zelvan-dl-")
        + QString::number(QCoreApplication::applicationPid());
    QDir().mkpath(folder);
    {
        QFile f(QDir(folder).filePath(QStringLiteral("notes.pdf")));
        f.open(QIODevice::WriteOnly);
    }
    const QString unique = DownloadFiles::uniqueFile(folder, QStringLiteral("notes.pdf"));
    check(QFileInfo(unique).fileName() == QStringLiteral("notes 2.pdf"),
          QStringLiteral("downloads never overwrite a file"), {});
    QDir(folder).removeRecursively();
}

} // namespace SelfTest
