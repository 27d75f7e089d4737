// The board's navigation decisions with the browser, cookie store and network
// replaced by a recording harness and the clock held still.
#include "board/BoardNav.h"
#include "support/TestSupport.h"

#include <QUrlQuery>
#include <gtest/gtest.h>

namespace {

using R = AppSession::Result;
using P = BoardNav::Policy;
const QString B = QStringLiteral("https://team.example.com");

QNetworkCookie cookie(const char* name, const char* value, const QString& domain)
{
    QNetworkCookie c(name, value);
    c.setDomain(domain);
    return c;
}

class BoardNavTest : public ::testing::Test {
protected:
    BoardNavTest()
    {
        nav = std::make_unique<BoardNav>(BoardNav::Ports{
            .base = [this] { return base; },
            .signedIn = [this] { return signedIn; },
            .accountKey = [] { return QStringLiteral("key"); },
            .load =
                [this](const QUrl& u) {
                    loads.push_back(u);
                    if (view)
                        shown = u;
                },
            .shown = [this] { return view ? shown : std::nullopt; },
            .cookies = [this] { return cookies; },
            .deleteCookies =
                [this](const QList<QNetworkCookie>& list, std::function<void()> done) {
                    deleted = list;
                    deletionsDone = std::move(done);
                },
            .exchange =
                [this](const QString&, const QString&, const std::optional<QString>& next,
                       std::function<void(R)> answer) {
                    nexts.push_back(next);
                    answers.push_back(std::move(answer));
                },
            .signout = [this](const Http::Request& r) { signouts.push_back(r); },
            .openBrowser = [this](const QUrl& u) { browser.push_back(u); },
            .openDeepLink = [this](const QUrl& u) { deepLinks.push_back(u); },
        });
    }

    QUrl at(const QString& path) const { return QUrl(base + path); }

    FixedClock clock;
    QString base = B;
    bool signedIn = true;
    bool view = true;
    std::optional<QUrl> shown;
    QList<QNetworkCookie> cookies;
    QList<QNetworkCookie> deleted;
    std::function<void()> deletionsDone;
    std::vector<QUrl> loads, browser, deepLinks;
    std::vector<std::optional<QString>> nexts;
    std::vector<std::function<void(R)>> answers;
    std::vector<Http::Request> signouts;
    std::unique_ptr<BoardNav> nav;
};

TEST(BoardNavPaths, PathAndQueryHomeAndSignin)
{
    EXPECT_EQ(BoardNav::pathAndQuery(QUrl("https://h/app/p/x?card=7#top")), "/app/p/x?card=7");
    EXPECT_EQ(BoardNav::pathAndQuery(QUrl("https://h")), "/");
    EXPECT_EQ(BoardNav::pathAndQuery(QUrl("https://h/a?")), "/a?");
    EXPECT_EQ(BoardNav::pathAndQuery(QUrl("https://h/a%20b?q=a%26b")), "/a%20b?q=a%26b");
    EXPECT_TRUE(BoardNav::isHomePath(QUrl("https://h/app")));
    EXPECT_TRUE(BoardNav::isHomePath(QUrl("https://h/app/")));
    EXPECT_FALSE(BoardNav::isHomePath(QUrl("https://h/app/#/board")));
    EXPECT_FALSE(BoardNav::isHomePath(QUrl("https://h/app/p/x")));
}

TEST_F(BoardNavTest, SigninAndNextTargets)
{
    const QUrl signin = nav->signinURL(at("/app/p/x?card=7"));
    EXPECT_EQ(signin.path(), "/signin");
    EXPECT_EQ(QUrlQuery(signin).queryItems(QUrl::FullyDecoded),
              (QList<std::pair<QString, QString>>{{"next", "/app/p/x?card=7"}}));
    EXPECT_EQ(nav->nextTarget(signin), at("/app/p/x?card=7"));
    EXPECT_EQ(nav->nextTarget(at("/signin?next=/app/p/x")), at("/app/p/x"));
    EXPECT_EQ(nav->nextTarget(at("/signin?next=%2Fapp%2Fp%2Fx")), at("/app/p/x"));
    EXPECT_EQ(nav->nextTarget(at("/signin?next=//evil.example/x")), at("/app"));
    EXPECT_EQ(nav->nextTarget(at("/signin?next=https://evil.example/x")), at("/app"));
    EXPECT_EQ(nav->signinURL(QUrl()), QUrl(B + "/signin?next=/app"));

    base = "";
    EXPECT_EQ(nav->home(), QUrl("https://zelvan.app/app"));
}

TEST_F(BoardNavTest, WebSessionCookies)
{
    const QDateTime now = clock.now();
    auto expiring = [&](int seconds) {
        QNetworkCookie c = cookie("zv_sess", "v", "team.example.com");
        c.setExpirationDate(now.addSecs(seconds));
        return c;
    };
    EXPECT_TRUE(BoardNav::hasWebSession({cookie("zv_sess", "v", "team.example.com")}, B, now));
    EXPECT_TRUE(BoardNav::hasWebSession({cookie("CF_Authorization", "v", "zelvan.cloudflareaccess.com")}, B, now));
    EXPECT_TRUE(BoardNav::hasWebSession({expiring(60)}, B, now));
    EXPECT_FALSE(BoardNav::hasWebSession({expiring(-1)}, B, now));
    EXPECT_FALSE(BoardNav::hasWebSession({cookie("zv_sess", "v", "evil.example")}, B, now));
    EXPECT_FALSE(BoardNav::hasWebSession({cookie("other", "v", "team.example.com")}, B, now));
}

TEST_F(BoardNavTest, NavigateExchangesOnlyWithoutASession)
{
    nav->navigate(at("/app/p/x"));
    ASSERT_EQ(nexts.size(), 1u);
    EXPECT_EQ(nexts[0], "/app/p/x");
    EXPECT_TRUE(loads.empty());

    cookies = {cookie("zv_sess", "v", "team.example.com")};
    nav->navigate(at("/app/r/1"));
    EXPECT_EQ(loads, std::vector<QUrl>{at("/app/r/1")});
    EXPECT_EQ(nexts.size(), 1u);

    cookies.clear();
    signedIn = false;
    nav->navigate(at("/app"));
    EXPECT_EQ(loads.back(), at("/app"));
    EXPECT_EQ(nexts.size(), 1u);
}

TEST_F(BoardNavTest, AtMostOneExchangeIn20Seconds)
{
    nav->exchange(at("/app"));
    nav->exchange(at("/app/p/x"));
    EXPECT_EQ(nexts.size(), 1u);
    EXPECT_EQ(nav->pendingTarget(), at("/app/p/x"));

    answers[0](R::failed("offline"));
    EXPECT_FALSE(nav->exchanging());
    EXPECT_EQ(loads.back(), at("/app"));

    clock.advance(20);
    nav->exchange(at("/app/p/y"));
    EXPECT_EQ(nexts.size(), 1u);
    EXPECT_EQ(loads.back(), nav->signinURL(at("/app/p/y")));

    clock.advance(0.5);
    nav->exchange(at("/app/p/y"));
    EXPECT_EQ(nexts.size(), 2u);
}

TEST_F(BoardNavTest, ExchangeResults)
{
    const struct {
        R result;
        QString target;
        std::optional<QString> pending;
        QUrl loaded;
    } cases[] = {
        {R::link(QUrl(B + "/auth/app?t=1")), "/app", std::nullopt, QUrl(B + "/auth/app?t=1")},
        {R::link(QUrl(B + "/auth/app?t=1")), "/app/p/x", "/app/p/x", QUrl(B + "/auth/app?t=1")},
        {R::refused(401), "/app/p/x", "/app/p/x", QUrl(B + "/signin?next=/app/p/x")},
        {R::notYet(404), "/app/r/1", "/app/r/1", QUrl(B + "/signin?next=/app/r/1")},
        {R::failed("HTTP 500"), "/app/r/1", std::nullopt, QUrl(B + "/app/r/1")},
    };
    for (const auto& c : cases) {
        nav->windowClosed();
        clock.advance(30);
        nav->exchange(at(c.target));
        answers.back()(c.result);
        EXPECT_EQ(nav->pendingTarget(), c.pending ? std::optional(at(*c.pending)) : std::nullopt)
            << c.target.toStdString();
        EXPECT_EQ(loads.back(), c.loaded) << c.target.toStdString();
    }
}

TEST_F(BoardNavTest, PendingTargetIsLoadedOnceAfterSignIn)
{
    nav->exchange(at("/app/p/x"));
    answers[0](R::link(at("/auth/app?t=1")));
    const size_t before = loads.size();
    nav->pageFinished(); // still on /auth/app
    shown = at("/signin");
    nav->pageFinished();
    EXPECT_EQ(loads.size(), before);

    shown = at("/app");
    nav->pageFinished();
    EXPECT_EQ(loads.back(), at("/app/p/x"));
    EXPECT_FALSE(nav->pendingTarget());
    nav->pageFinished();
    EXPECT_EQ(loads.size(), before + 1);
}

TEST_F(BoardNavTest, NavigationPolicy)
{
    EXPECT_EQ(nav->decide(at("/app"), true, true), P::download);
    EXPECT_EQ(nav->decide(QUrl(), false, true), P::allow);
    // A zelvan: link is followed from the page itself, never from a frame inside it.
    EXPECT_EQ(nav->decide(QUrl("zelvan://p/frame"), false, false), P::cancel);
    EXPECT_EQ(nav->decide(QUrl("zelvan://p/x"), false, true), P::cancel);
    EXPECT_EQ(deepLinks, std::vector<QUrl>{QUrl("zelvan://p/x")});
    EXPECT_EQ(nav->decide(QUrl("https://example.org/embed"), false, false), P::allow);
    EXPECT_EQ(nav->decide(QUrl("https://example.org/"), false, true), P::cancel);
    EXPECT_EQ(browser, std::vector<QUrl>{QUrl("https://example.org/")});
    EXPECT_EQ(nav->decide(QUrl("https://zelvan.cloudflareaccess.com/cdn-cgi/access/login/x"), false, true), P::allow);
    EXPECT_EQ(nav->decide(QUrl("about:blank"), false, true), P::allow);
    EXPECT_EQ(nav->decide(at("/app/p/x"), false, true), P::allow);
    EXPECT_TRUE(nexts.empty());

    // A sign-in page is replaced by the exchange …
    EXPECT_EQ(nav->decide(at("/signin?next=/app/p/x"), false, true), P::cancel);
    ASSERT_EQ(nexts.size(), 1u);
    EXPECT_EQ(nexts[0], "/app/p/x");
    // … but not while one runs, nor within 20 s of the last.
    EXPECT_EQ(nav->decide(at("/signin"), false, true), P::allow);
    answers[0](R::refused(403));
    EXPECT_EQ(nav->decide(at("/signin"), false, true), P::allow);
    clock.advance(21);
    EXPECT_EQ(nav->decide(at("/signin?out=1"), false, true), P::allow);
    EXPECT_EQ(nexts.size(), 1u);
}

TEST_F(BoardNavTest, WebSignOutStopsAutomaticSignInUntilSignedIn)
{
    EXPECT_EQ(nav->decide(at("/signout"), false, true), P::allow);
    EXPECT_TRUE(nav->webSignedOut());
    EXPECT_EQ(nav->decide(at("/signin"), false, true), P::allow);
    nav->navigate(at("/app"));
    EXPECT_TRUE(nexts.empty());
    EXPECT_EQ(loads.back(), at("/app"));

    shown = at("/signin?next=/app/r/2");
    nav->signedIn();
    EXPECT_FALSE(nav->webSignedOut());
    ASSERT_EQ(nexts.size(), 1u);
    EXPECT_EQ(nexts[0], "/app/r/2");

    nav->decide(at("/signout/"), false, true);
    nav->windowClosed();
    EXPECT_FALSE(nav->webSignedOut());
}

TEST_F(BoardNavTest, SignOutSendsOnlyOurSessionCookieToTheBase)
{
    cookies = {cookie("zv_sess", "foreign", "zelvan.app"), cookie("zv_sess", "mine", ".team.example.com"),
               cookie("CF_Authorization", "gw", "zelvan.cloudflareaccess.com"), cookie("x", "y", "example.org")};
    nav->signedOut();
    ASSERT_EQ(signouts.size(), 1u);
    EXPECT_EQ(signouts[0].url, B.toUtf8() + "/auth/signout");
    EXPECT_EQ(signouts[0].body, "{}");
    EXPECT_TRUE(std::any_of(signouts[0].headers.begin(), signouts[0].headers.end(),
                            [](const Http::Header& h) { return h.name == "Cookie" && h.value == "zv_sess=mine"; }));
    EXPECT_EQ(deleted.size(), 3);

    // The sign-in page comes only once every deletion is done.
    EXPECT_TRUE(loads.empty());
    deletionsDone();
    EXPECT_EQ(loads, std::vector<QUrl>{at("/signin")});
}

TEST_F(BoardNavTest, SignOutKeepsTheCookieOffPlainHttp)
{
    base = "http://team.example.com";
    cookies = {cookie("zv_sess", "mine", "team.example.com")};
    nav->signedOut();
    EXPECT_TRUE(signouts.empty());
    EXPECT_EQ(deleted.size(), 1);

    base = "http://127.0.0.1:7440";
    cookies = {cookie("zv_sess", "local", "127.0.0.1")};
    nav->signedOut();
    ASSERT_EQ(signouts.size(), 1u);
    EXPECT_EQ(signouts[0].url, "http://127.0.0.1:7440/auth/signout");
}

TEST_F(BoardNavTest, ASignInDuringTheCookiePurgeWaitsForIt)
{
    cookies = {cookie("zv_sess", "old", "team.example.com")};
    nav->signedOut();
    shown = at("/signin");
    nav->signedIn();
    EXPECT_TRUE(nexts.empty());
    deletionsDone();
    EXPECT_EQ(nexts.size(), 1u);
}

TEST_F(BoardNavTest, ACrashedPageReloadsTheLastRequest)
{
    nav->contentCrashed();
    EXPECT_TRUE(loads.empty());
    signedIn = false;
    nav->navigate(at("/app/r/9"));
    nav->contentCrashed();
    EXPECT_EQ(loads.back(), at("/app/r/9"));
    EXPECT_EQ(loads.size(), 2u);
}

} // namespace
