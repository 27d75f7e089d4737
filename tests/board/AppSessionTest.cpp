// The app-session exchange: the answer's reading, and the request against the
// fake platform over real HTTP.
#include "board/AppSession.h"
#include "support/BoardSite.h"
#include "support/FakePlatform.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

namespace {

using R = AppSession::Result;
const QString B = QStringLiteral("https://team.example.com");

TEST(AppSessionParse, Answers)
{
    const struct {
        int status;
        const char* body;
        R result;
    } cases[] = {
        {200, R"({"url":"/auth/app?t=1"})", R::link(QUrl(B + "/auth/app?t=1"))},
        {201, R"({"url":"https://team.example.com/auth/app?t=2"})", R::link(QUrl(B + "/auth/app?t=2"))},
        {299, R"({"url":"/auth/app?t=3"})", R::link(QUrl(B + "/auth/app?t=3"))},
        {200, R"({"url":"https://evil.example/auth/app?t=1"})", R::failed("no usable url in the answer")},
        {200, R"({"url":"http://team.example.com/auth/app?t=1"})", R::failed("no usable url in the answer")},
        {200, "{}", R::failed("no usable url in the answer")},
        {200, "not json", R::failed("no usable url in the answer")},
        {200, R"(["/auth/app"])", R::failed("no usable url in the answer")},
        {200, R"({"url":true})", R::failed("no usable url in the answer")},
        {300, "", R::failed("HTTP 300")},
        {302, "", R::failed("HTTP 302")},
        {404, "", R::notYet(404)},
        {405, "", R::notYet(405)},
        {401, "", R::refused(401)},
        {403, "", R::refused(403)},
        {402, "", R::failed("HTTP 402")},
        {0, "", R::failed("HTTP 0")},
    };
    for (const auto& c : cases)
        EXPECT_EQ(AppSession::parse(c.status, c.body, B), c.result) << c.status << " " << c.body;
    EXPECT_NE(R::notYet(404), R::notYet(405));
    EXPECT_NE(R::notYet(404), R::refused(404));
}

class AppSessionRequest : public ::testing::Test {
protected:
    void SetUp() override { platform.start(); }
    FakePlatform platform;
};

TEST_F(AppSessionRequest, SendsTheKeyToTheCleanedBaseAndReadsTheLink)
{
    BoardSite site(platform);
    const QString base = "  " + platform.base() + "//  ";
    EXPECT_EQ(AppSession::request(base, "zv_test_account_key", QStringLiteral("/app/p/x")),
              R::link(QUrl(platform.base() + "/auth/app?t=t1")));
    EXPECT_EQ(AppSession::request(base, "zv_test_account_key", std::nullopt).kind, R::Kind::url);

    const auto seen = platform.requests();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].method, "POST");
    EXPECT_EQ(seen[0].target, "/auth/app-session");
    EXPECT_EQ(seen[0].header("Authorization"), "Bearer zv_test_account_key");
    EXPECT_EQ(seen[0].header("Origin"), platform.base().toStdString());
    EXPECT_EQ(seen[0].header("Content-Type"), "application/json");
    EXPECT_EQ(seen[0].header("Accept"), "application/json");
    EXPECT_EQ(seen[0].header("User-Agent"), "Zelvan-mac/1.0");
    EXPECT_EQ(QJsonDocument::fromJson(QByteArray::fromStdString(seen[0].body)).object(),
              (QJsonObject{{"client", "mac"}, {"next", "/app/p/x"}}));
    EXPECT_EQ(QJsonDocument::fromJson(QByteArray::fromStdString(seen[1].body)).object(),
              (QJsonObject{{"client", "mac"}}));
}

TEST_F(AppSessionRequest, FailuresAreResultsAndARedirectKeepsTheKey)
{
    EXPECT_EQ(AppSession::request(platform.base(), "", std::nullopt), R::failed("not signed in"));
    EXPECT_EQ(AppSession::request("not a base", "k", std::nullopt), R::failed("not signed in"));
    // The key goes over plain http only to this machine, as the sign-out does.
    EXPECT_FALSE(AppSession::build("http://team.example.com", "k", std::nullopt));
    EXPECT_EQ(AppSession::request("http://team.example.com", "k", std::nullopt),
              R::failed("refused: plain http to another machine"));
    EXPECT_TRUE(AppSession::build("http://localhost:7440", "k", std::nullopt));
    EXPECT_TRUE(platform.requests().empty());

    // A redirect must not carry the key anywhere: it is a failure.
    platform.route("POST", "/auth/app-session", [](const httplib::Request&, httplib::Response& res) {
        res.status = 307;
        res.set_header("Location", "/elsewhere");
    });
    EXPECT_EQ(AppSession::request(platform.base(), "k", std::nullopt), R::failed("HTTP 307"));
    EXPECT_EQ(platform.requests().size(), 1u);

    platform.fail("POST", "/auth/app-session", {.status = 403, .body = R"({"error":"no"})"});
    EXPECT_EQ(AppSession::request(platform.base(), "k", std::nullopt), R::refused(403));
    platform.fail("POST", "/auth/app-session", {.drop = true});
    const R dropped = AppSession::request(platform.base(), "k", std::nullopt);
    EXPECT_EQ(dropped.kind, R::Kind::failed);
    EXPECT_FALSE(dropped.message.isEmpty());
}

} // namespace
