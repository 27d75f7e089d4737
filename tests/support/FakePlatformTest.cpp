#include "support/FakePlatform.h"

#include <gtest/gtest.h>

namespace {

httplib::Client client(const FakePlatform& fake)
{
    httplib::Client c("127.0.0.1", fake.port());
    c.set_read_timeout(5, 0);
    return c;
}

} // namespace

TEST(FakePlatform, ServesRoutesAndLogsRequests)
{
    FakePlatform fake;
    fake.start();
    ASSERT_GT(fake.port(), 0);
    EXPECT_EQ(fake.base(), QStringLiteral("http://127.0.0.1:%1").arg(fake.port()));

    fake.route("GET", "/api/me", [](const httplib::Request&, httplib::Response& res) {
        FakePlatform::reply(res, 200, R"({"ego":{"name":"Varra"}})");
    });
    fake.route("POST", R"(/api/calls/([^/]+)/audio)", [](const httplib::Request& req, httplib::Response& res) {
        FakePlatform::reply(res, 200,
                            "{\"id\":\"" + req.matches[1].str() + "\",\"bytes\":" + std::to_string(req.body.size())
                                + "}");
    });

    auto c = client(fake);
    auto me = c.Get("/api/me?x=1", {{"Authorization", "Bearer k"}});
    ASSERT_TRUE(me);
    EXPECT_EQ(me->status, 200);
    EXPECT_EQ(me->body, R"({"ego":{"name":"Varra"}})");

    auto up = c.Post("/api/calls/rec%3A1/audio", std::string(1000, 'a'), "audio/mp4");
    ASSERT_TRUE(up);
    EXPECT_EQ(up->body, R"({"id":"rec:1","bytes":1000})") << "the path arrives decoded";

    auto missing = c.Delete("/api/nothing");
    ASSERT_TRUE(missing);
    EXPECT_EQ(missing->status, 404);

    const auto seen = fake.requests();
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0].method, "GET");
    EXPECT_EQ(seen[0].path, "/api/me");
    EXPECT_EQ(seen[0].query, "x=1");
    EXPECT_EQ(seen[0].header("authorization"), "Bearer k") << "header names are case-insensitive";
    EXPECT_EQ(seen[1].header("Content-Type"), "audio/mp4");
    EXPECT_EQ(seen[1].body.size(), 1000u);
    EXPECT_FALSE(seen[1].hasHeader("Authorization"));
    fake.clearRequests();
    EXPECT_TRUE(fake.requests().empty());
}

TEST(FakePlatform, InjectedFaults)
{
    FakePlatform fake;
    fake.start();
    fake.route("GET", "/ok",
               [](const httplib::Request&, httplib::Response& res) { FakePlatform::reply(res, 200, "{}"); });
    auto c = client(fake);

    // A status and body for the next two requests only.
    fake.fail("GET", "/ok", {.status = 503, .body = R"({"error":"busy"})"}, 2);
    for (int i = 0; i < 2; ++i) {
        auto r = c.Get("/ok");
        ASSERT_TRUE(r);
        EXPECT_EQ(r->status, 503);
        EXPECT_EQ(r->body, R"({"error":"busy"})");
    }
    EXPECT_EQ(c.Get("/ok")->status, 200);

    // A delay alone still lets the route answer.
    fake.fail("GET", "/ok", {.delay = std::chrono::milliseconds(50)});
    auto slow = c.Get("/ok");
    ASSERT_TRUE(slow);
    EXPECT_EQ(slow->status, 200);

    // A dropped connection is a transport failure for the client.
    fake.fail("GET", "/ok", {.drop = true});
    auto dropped = c.Get("/ok");
    EXPECT_FALSE(dropped);
    EXPECT_EQ(c.Get("/ok")->status, 200);

    // A delay longer than the client waits looks like a server that stopped answering.
    fake.fail("GET", "/ok", {.delay = std::chrono::milliseconds(1500)});
    c.set_read_timeout(0, 200'000);
    EXPECT_FALSE(c.Get("/ok"));

    fake.fail("GET", "/ok", {.status = 500}, -1);
    EXPECT_EQ(client(fake).Get("/ok")->status, 500);
    EXPECT_EQ(client(fake).Get("/ok")->status, 500);
    fake.clearFaults();
    EXPECT_EQ(client(fake).Get("/ok")->status, 200);
}

TEST(FakePlatform, LaterRoutesWinAndStopFreesThePort)
{
    FakePlatform fake;
    fake.start();
    fake.route("GET", "/x", [](const httplib::Request&, httplib::Response& res) { FakePlatform::reply(res, 200, "1"); });
    fake.route("GET", "/x", [](const httplib::Request&, httplib::Response& res) { FakePlatform::reply(res, 200, "2"); });
    EXPECT_EQ(client(fake).Get("/x")->body, "2");

    const int port = fake.port();
    fake.stop();
    EXPECT_FALSE(fake.running());
    httplib::Client c("127.0.0.1", port);
    c.set_connection_timeout(1, 0);
    EXPECT_FALSE(c.Get("/x"));
}
