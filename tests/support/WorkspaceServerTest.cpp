#include "core/API.h"
#include "core/Json.h"
#include "core/Strings.h"
#include "support/FakePlatform.h"
#include "support/FakeWebPlatform.h"
#include "support/WorkspaceServer.h"

#include <QJsonArray>
#include <QTemporaryFile>
#include <gtest/gtest.h>

// The web platform's roots share one call store: a call moved to a project is
// found under that project's root only, with the id the move answered.
TEST(WorkspaceServer, CallsMoveBetweenRootsOfOneStore)
{
    FakePlatform fake;
    fake.start();
    FakeWebPlatform web(fake);
    WorkspaceServer& personal = web.personal();
    WorkspaceServer& bramel = web.project("bramel");
    const std::string key = web.options().key;
    const API pe(fake.base(), QString::fromStdString(key), fake.base() + "/api/v1/personal");
    const API p1(fake.base(), QString::fromStdString(key), fake.base() + "/api/v1/p/bramel");

    const QString pid = Json::str(
                            pe.json("POST", "/api/calls", QJsonObject{{"title", "T"}, {"source", "mac"}}).value("id"))
                            .value_or("");
    ASSERT_EQ(pid, "rec:1");
    QTemporaryFile audio;
    ASSERT_TRUE(audio.open());
    audio.write("not really audio");
    audio.flush();
    pe.upload("POST", "/api/calls/rec%3A1/audio", audio.fileName(), "audio/mp4");
    const QJsonObject detail = pe.callDetail(pid);
    EXPECT_EQ(detail.value("project"), "personal");
    EXPECT_EQ(detail.value("has_audio"), true);
    EXPECT_THROW(p1.callDetail(pid), APIError) << "not under another project's root";

    const QString id2 = Json::str(pe.json("POST", "/api/calls/rec%3A1/move", QJsonObject{{"to", "bramel"}}).value("id"))
                            .value_or("");
    EXPECT_EQ(id2, "rec:2");
    EXPECT_EQ(p1.callDetail(id2).value("project"), "bramel");
    EXPECT_EQ(p1.callDetail(id2).value("has_audio"), true) << "the audio moves along";
    EXPECT_THROW(pe.callDetail(pid), APIError);

    const QString id3 =
        Json::str(p1.json("POST", "/api/calls/rec%3A2/move", QJsonObject{{"to", "personal"}}).value("id")).value_or("");
    pe.json("DELETE", "/api/calls/" + urlComponent(id3));
    EXPECT_TRUE(personal.calls().empty());
    EXPECT_TRUE(bramel.calls().empty());
    try {
        pe.callDetail(id3);
        ADD_FAILURE() << "deleted";
    } catch (const APIError& e) {
        EXPECT_EQ(e.status(), 404);
    }

    try {
        pe.json("POST", "/api/calls/rec%3A9/move", QJsonObject{{"to", "bramel"}});
        ADD_FAILURE() << "no such call";
    } catch (const APIError& e) {
        EXPECT_EQ(e.status(), 404);
    }
}

TEST(WorkspaceServer, RouteScoresPerProject)
{
    FakePlatform fake;
    fake.start();
    WorkspaceServer a(fake, WorkspaceServer::Mode::full, {}, "/api/v1/p/a");
    WorkspaceServer b(fake, WorkspaceServer::Mode::full, {}, "/api/v1/p/b");
    a.setRouteScore(QJsonObject{{"score", 0.9}, {"reasons", QJsonArray{"with Ana"}}});
    EXPECT_EQ(API(fake.base(), "k", fake.base() + "/api/v1/p/a").routeScore("t", "Screen", {}, ""),
              (API::Score{0.9, {"with Ana"}}));
    EXPECT_EQ(API(fake.base(), "k", fake.base() + "/api/v1/p/b").routeScore("t", "Screen", {}, ""),
              (API::Score{0.5, {"title matches the project"}}));
}
