#include "core/API.h"
#include "core/Json.h"
#include "core/Strings.h"
#include "support/FakePlatform.h"
#include "support/FakeWebPlatform.h"
#include "support/WorkspaceServer.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
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
    // A file of our own: the source path the compiler spells may be relative to another folder.
    QTemporaryFile audio;
    ASSERT_TRUE(audio.open());
    audio.write("aac");
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

// The platform's own listing of what it received, read by `make run`'s report:
// counts, pin notes, screen text and the audio's decoded length.
TEST(WorkspaceServer, RecordListsWhatThePlatformReceived)
{
    FakePlatform fake;
    fake.start();
    FakeWebPlatform web(fake);
    const API p1(fake.base(), QString::fromStdString(web.options().key), fake.base() + "/api/v1/p/bramel");
    const QJsonObject payload{
        {"title", "Budget"},
        {"kind", "session"},
        {"shots", QJsonArray{QJsonObject{{"t", 1}}, QJsonObject{{"t", 4}}}},
        {"pins", QJsonArray{QJsonObject{{"t", 2}, {"note", "ship it"}}}},
        {"ocr", QJsonArray{QJsonObject{{"t", 1}, {"text", "Quarterly"}}, QJsonObject{{"t", 4}, {"text", "Friday"}}}},
    };
    ASSERT_EQ(Json::str(p1.json("POST", "/api/calls", payload).value("id")), "rec:1");
    QTemporaryFile audio(QDir::tempPath() + "/record-XXXXXX.m4a");
    ASSERT_TRUE(audio.open());
    QProcess ffmpeg;
    ffmpeg.start("ffmpeg",
                 {"-loglevel", "error", "-y", "-f", "lavfi", "-i", "sine=frequency=440:duration=3", "-ac", "1", "-c:a",
                  "aac", audio.fileName()});
    ASSERT_TRUE(ffmpeg.waitForFinished(60'000) && ffmpeg.exitCode() == 0);
    p1.upload("POST", "/api/calls/rec%3A1/audio", audio.fileName(), "audio/mp4");

    httplib::Client client(fake.base().toStdString());
    const auto answer = client.Get("/__test/calls");
    ASSERT_TRUE(answer);
    const QJsonArray calls = QJsonDocument::fromJson(QByteArray::fromStdString(answer->body))["calls"].toArray();
    ASSERT_EQ(calls.size(), 1);
    const QJsonObject r = calls[0].toObject();
    EXPECT_EQ(r["id"], "rec:1");
    EXPECT_EQ(r["project"], "bramel");
    EXPECT_EQ(r["shots"], 2);
    EXPECT_EQ(r["pins"], QJsonArray{"ship it"});
    EXPECT_EQ(r["screen_text"], (QJsonArray{"Quarterly", "Friday"}));
    EXPECT_EQ(r["audio_bytes"].toInteger(), QFileInfo(audio.fileName()).size());
    EXPECT_NEAR(r["audio_seconds"].toDouble(), 3.0, 0.1);
}
