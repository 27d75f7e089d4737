// Deep links, the web-host rules and the remembered session pages.
#include "board/DeepLink.h"
#include "board/SessionLinks.h"
#include "board/WebHosts.h"
#include "core/Accounts.h"
#include "core/Settings.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

const QString B = QStringLiteral("https://team.example.com");

QString page(const QString& link, const QString& base = B, const DeepLink::Known& known = {})
{
    const auto parsed = DeepLink::parse(link);
    if (!parsed)
        return QStringLiteral("nil");
    const auto url = parsed->webURL(base, known);
    return url ? QString::fromUtf8(url->toEncoded()) : QStringLiteral("no url");
}

TEST(DeepLink, LinksGiveTheirBoardPages)
{
    const struct {
        const char* link;
        QString page;
    } cases[] = {
        {"zelvan://p/alpha/card/t:42", B + "/app/p/alpha/#/board?card=t%3A42"},
        {"zelvan://p/web%20team/card/c7", B + "/app/p/web%20team/#/board?card=c7"},
        {"zelvan://session/rec:20261031-1", B + "/app/r/rec%3A20261031-1"},
        {"zelvan://r/rec:1", B + "/app/r/rec%3A1"},
        {"zelvan://p/alpha/board", B + "/app/p/alpha/#/board"},
        {"zelvan://p/alpha", B + "/app/p/alpha/#/board"},
        {"zelvan://p/Alpha/BOARD", B + "/app/p/Alpha/#/board"},
        {"zelvan:board", B + "/app"},
        {"zelvan://board", B + "/app"},
        {"ZELVAN://board/", B + "/app"},
        {"zelvan://app", B + "/app"},
        {"zelvan:///board", B + "/app"},
        {"zelvan:p/alpha?x=1", B + "/app/p/alpha/#/board"},
        {"zelvan://p/%20alpha%20/", B + "/app/p/alpha/#/board"},
        {"zelvan://p/100%25/", B + "/app/p/100%25/#/board"},
        {"zelvan://p/bad%zz", B + "/app/p/bad%25zz/#/board"},
        {"zelvan://p//card/x", "nil"},
        {"zelvan://p/alpha/card", "nil"},
        {"zelvan://team.example.com/app", "nil"},
        {"zelvan://", "nil"},
        {"zelvan:", "nil"},
        {"https://team.example.com/app", "nil"},
        {"board", "nil"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(page(c.link), c.page) << c.link;
}

TEST(DeepLink, BasesAndKnownSessionPages)
{
    EXPECT_EQ(page("zelvan://board", "  https://team.example.com//  "), B + "/app");
    EXPECT_EQ(page("zelvan://p/alpha/card/t:1", "http://127.0.0.1:7440/"),
              "http://127.0.0.1:7440/app/p/alpha/#/board?card=t%3A1");
    const auto known = [](const QString& id) -> std::optional<QUrl> {
        if (id == u"rec:20261031-1")
            return QUrl("https://acme.example.org/#/library/call/rec%3A20261031-1");
        return std::nullopt;
    };
    EXPECT_EQ(page("zelvan://session/rec:20261031-1", B, known),
              "https://acme.example.org/#/library/call/rec%3A20261031-1");
    EXPECT_EQ(page("zelvan://session/other", B, known), B + "/app/r/other");
    EXPECT_EQ(page("zelvan://board", ""), "no url");
}

TEST(DeepLink, DescribesAndComesBackFromWebPages)
{
    EXPECT_EQ(DeepLink::card("p1", "7").describe(), R"(card(slug: "p1", id: "7"))");
    EXPECT_EQ(DeepLink::board().describe(), "board");
    EXPECT_EQ(DeepLink::session("a").describe(), R"(session(id: "a"))");
    EXPECT_NE(DeepLink::session("a"), DeepLink::project("a"));
    // Text from a link cannot start a log line of its own or flood the log.
    const auto hostile = DeepLink::parse(
        "zelvan://p/x%0A2026-01-01 09:00:00  sign-in: signed in as eve%1B[2J%07%00/card/" + QString(700'000, 'y'));
    ASSERT_TRUE(hostile);
    const QString text = hostile->describe();
    EXPECT_TRUE(std::none_of(text.begin(), text.end(), [](QChar c) { return c.category() == QChar::Other_Control; }))
        << text.left(120).toStdString();
    EXPECT_TRUE(text.startsWith(R"(card(slug: "x 2026-01-01 09:00:00  sign-in: signed in as eve [2J  )")) << text.left(120).toStdString();
    EXPECT_LE(text.size(), 200);

    EXPECT_EQ(DeepLink::from(QUrl(B + "/app/"), B), QUrl("zelvan://board"));
    EXPECT_EQ(DeepLink::from(QUrl(B + "/app/r/rec:9"), B)->toEncoded(), "zelvan://session/rec%3A9");
    EXPECT_FALSE(DeepLink::from(QUrl(B + "/app/p/x"), B));
    EXPECT_FALSE(DeepLink::from(QUrl("https://elsewhere.example/app"), B));
}

TEST(WebHosts, WhatStaysInTheWindow)
{
    const QString local = QStringLiteral("http://127.0.0.1:7440");
    const struct {
        const char* url;
        QString base;
        bool stays;
        bool board;
    } cases[] = {
        {"https://zelvan.app/app", B, true, true},
        {"https://www.zelvan.app/app", B, true, true},
        {"https://zelvan.cloudflareaccess.com/cdn-cgi/access/login/team.example.com", B, true, false},
        {"blob:https://zelvan.app/1234", B, true, false},
        {"about:blank", B, true, false},
        {"data:text/html,hi", B, true, false},
        {"https://team.example.com/app", B, true, true},
        {"http://team.example.com/app", B, false, false},
        {"https://acme.legacy.example/#/board", B, false, false},
        {"http://zelvan.app/app", B, false, false},
        {"https://example.org/", B, false, false},
        // Only our own team's gateway login.
        {"https://other.cloudflareaccess.com/cdn-cgi/access/login/x", B, false, false},
        {"http://127.0.0.1:7440/app", local, true, true},
        {"https://127.0.0.1:7440/app", local, false, false},
        // Another service on the developer's machine is not the board.
        {"http://127.0.0.1:9999/app", local, false, false},
        {"https://team.example.com:443/app", B, true, true},
        {"https://team.example.com:8443/app", B, false, false},
        {"zelvan://board", B, false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(WebHosts::staysInWindow(QUrl(c.url), c.base), c.stays) << c.url;
        EXPECT_EQ(WebHosts::isBoard(QUrl(c.url), c.base), c.board) << c.url;
    }
    EXPECT_TRUE(WebHosts::isAuth(QUrl("https://ZELVAN.cloudflareaccess.com/x")));
    EXPECT_FALSE(WebHosts::isAuth(QUrl("http://zelvan.cloudflareaccess.com/x")));
}

TEST(WebHosts, CookieDomains)
{
    const struct {
        const char* domain;
        bool ours;
    } cases[] = {
        {".zelvan.app", true},           {"www.zelvan.app", true},           {"zelvan.cloudflareaccess.com", true},
        {"team.example.com", true},      {".TEAM.example.com", true},        {"other.cloudflareaccess.com", false},
        {"cloudflareaccess.com", false}, {"zelvan.app.evil.example", false}, {"", false},
        {"example.com", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(WebHosts::isZelvanCookie(c.domain, B), c.ours) << c.domain;
}

TEST(WebHosts, OneTimeLinks)
{
    EXPECT_EQ(WebHosts::validAppSessionURL(QStringLiteral("/auth/app?t=1"), B), QUrl(B + "/auth/app?t=1"));
    EXPECT_EQ(WebHosts::validAppSessionURL(QStringLiteral("auth/app?t=1"), B + "/"), QUrl(B + "/auth/app?t=1"));
    EXPECT_FALSE(WebHosts::validAppSessionURL(QStringLiteral("https://evil.example/auth/app?t=1"), B));
    EXPECT_FALSE(WebHosts::validAppSessionURL(QStringLiteral("http://team.example.com/auth/app?t=1"), B));
    EXPECT_FALSE(WebHosts::validAppSessionURL(std::nullopt, B));
    EXPECT_EQ(WebHosts::validAppSessionURL(QStringLiteral("/auth/app?t=1"), "http://127.0.0.1:7440"),
              QUrl("http://127.0.0.1:7440/auth/app?t=1"));
}

class SessionLinksTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    Settings settings{std::make_unique<QSettings>(dir.filePath("s.conf"), QSettings::IniFormat)};
    Accounts accounts{settings};
};

TEST_F(SessionLinksTest, KeepsTheNewest200AndMovesARememberedIdToTheEnd)
{
    for (int i = 0; i <= 200; ++i)
        SessionLinks::remember(settings, "rec:" + QString::number(i), QUrl(B + "/app/r/" + QString::number(i)));
    EXPECT_FALSE(SessionLinks::link(accounts, "rec:0"));
    EXPECT_EQ(SessionLinks::link(accounts, "rec:1"), QUrl(B + "/app/r/1"));

    SessionLinks::remember(settings, "rec:1", QUrl(B + "/app/r/new"));
    for (int i = 201; i < 400; ++i)
        SessionLinks::remember(settings, "rec:" + QString::number(i), QUrl(B + "/x"));
    EXPECT_EQ(SessionLinks::link(accounts, "rec:1"), QUrl(B + "/app/r/new"));
    EXPECT_FALSE(SessionLinks::link(accounts, "rec:2"));

    const QVariant before = settings.d().value("board.sessionLinks");
    SessionLinks::remember(settings, "", QUrl(B));
    SessionLinks::remember(settings, "rec:5", std::nullopt);
    EXPECT_EQ(settings.d().value("board.sessionLinks"), before);
}

TEST_F(SessionLinksTest, FallsBackToTheLastFilingAndSurvivesAForeignValue)
{
    settings.setPlatformBase(B);
    settings.setLastFiled(FiledRef{"rec:7", "Standup", FiledRef::personal, QDateTime::currentDateTimeUtc()});
    EXPECT_EQ(SessionLinks::link(accounts, "rec:7"), QUrl(B + "/app/r/rec%3A7"));
    EXPECT_FALSE(SessionLinks::link(accounts, "rec:8"));

    settings.d().setValue("board.sessionLinks", "[[\"rec:8\", 3]]");
    EXPECT_FALSE(SessionLinks::link(accounts, "rec:8"));
    SessionLinks::remember(settings, "rec:8", QUrl(B + "/app/r/8"));
    EXPECT_EQ(SessionLinks::link(accounts, "rec:8"), QUrl(B + "/app/r/8"));
}

} // namespace
