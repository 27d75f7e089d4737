#include "session/Payload.h"
#include "session/Uploader.h"
#include "support/FakePlatform.h"
#include "support/TestSupport.h"
#include "support/WorkspaceServer.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <gtest/gtest.h>

namespace {

const QDateTime start(QDate(2025, 3, 4), QTime(9, 15, 2), QTimeZone::utc());
const QByteArray audio = QByteArray(100'000, 'a') + "end";

std::shared_ptr<Session> finished(bool withAudio = true)
{
    auto s = Session::create("Weekly", "Zoom", std::nullopt, start);
    s->addShot(1, "shot-0");
    s->addShot(2, "shot-1");
    s->addPin(3, "note", "pin-0");
    s->meta().ended = start.addSecs(60);
    s->meta().kind = "call";
    if (withAudio) {
        s->meta().audioFile = "mixed.m4a";
        writeFile(s->path("mixed.m4a"), audio);
    }
    s->save();
    return s;
}

// "POST /api/calls/rec%3A1/audio": method and target as sent.
std::vector<std::string> sent(const FakePlatform& fake)
{
    std::vector<std::string> out;
    for (const auto& r : fake.requests())
        out.push_back(r.method + " " + r.target);
    return out;
}

class Upload : public ::testing::Test {
protected:
    void SetUp() override { fake.start(); }

    QString upload(Session& s, bool process = true, bool keepFiles = false)
    {
        return Uploader::upload(s, API(fake.base(), "k"), QString("Ana"), process, keepFiles,
                                [this](const QString& step) { steps.push_back(step); });
    }

    TempSupport support;
    FakePlatform fake;
    WorkspaceServer server{fake};
    std::vector<QString> steps;
};

} // namespace

TEST_F(Upload, PayloadAudioProcessingThenTheFolderGoes)
{
    const auto s = finished();
    const QJsonObject payload = Payload::dictionary(*s, QString("Ana"));

    EXPECT_EQ(upload(*s), "rec:1");

    EXPECT_EQ(steps,
              (std::vector<QString>{"Uploading 2 screenshots, 1 pins\u2026", "Uploading audio\u2026",
                                    "Starting notes\u2026"}));
    EXPECT_EQ(sent(fake),
              (std::vector<std::string>{"POST /api/calls", "POST /api/calls/rec%3A1/audio",
                                        "POST /api/calls/rec%3A1/process"}));
    const auto requests = fake.requests();
    EXPECT_EQ(requests[0].header("Content-Type"), "application/json");
    EXPECT_EQ(requests[1].header("Content-Type"), "audio/mp4");
    EXPECT_EQ(requests[2].body, "");

    const auto calls = server.calls();
    ASSERT_EQ(calls.size(), 1u);
    const auto& call = calls.at("rec:1");
    EXPECT_EQ(call.payload, payload);
    EXPECT_EQ(call.audioBytes, audio.size());
    EXPECT_TRUE(call.processed);
    EXPECT_FALSE(QFileInfo::exists(s->dir())) << "removed once the server has everything";
}

// A shot that opens but cannot be read is left out; it does not fail the upload.
TEST_F(Upload, UnreadableShotIsLeftOutAndTheRestGoesUp)
{
    const auto s = finished();
    ASSERT_TRUE(QFile::remove(s->path("shots/000.jpg")));
    ASSERT_TRUE(QFile::link("/proc/self/mem", s->path("shots/000.jpg"))); // fails on read

    EXPECT_EQ(upload(*s), "rec:1");
    const QJsonArray shots = server.calls().at("rec:1").payload.value("shots").toArray();
    EXPECT_EQ(shots,
              (QJsonArray{QJsonObject{{"t", 2}, {"jpeg", QString::fromLatin1(QByteArray("shot-1").toBase64())}}}));
    EXPECT_FALSE(QFileInfo::exists(s->dir()));
}

// A failure at any step is recorded on disk; a later attempt, even from a new
// process that reloads "meta.json", resumes at that step and sends nothing twice.
TEST_F(Upload, FailedStepResumesAfterARestart)
{
    struct Case {
        const char* path;
        FakePlatform::Fault fault;
        const char* error;
        std::vector<std::string> retry;
    };
    const Case cases[] = {
        {"/api/calls",
         {.status = 500, .body = R"({"error":"boom"})"},
         "boom (HTTP 500)",
         {"POST /api/calls", "POST /api/calls/rec%3A1/audio", "POST /api/calls/rec%3A1/process"}},
        {"/api/calls/rec:1/audio",
         {.status = 503, .body = R"({"error":"busy"})"},
         "busy (HTTP 503)",
         {"POST /api/calls/rec%3A1/audio", "POST /api/calls/rec%3A1/process"}},
        {"/api/calls/rec:1/process",
         {.status = 500, .body = "{}"},
         "internal server error (HTTP 500)",
         {"POST /api/calls/rec%3A1/process"}},
        {"/api/calls/rec:1/audio",
         {.drop = true},
         nullptr,
         {"POST /api/calls/rec%3A1/audio", "POST /api/calls/rec%3A1/process"}},
    };
    for (const Case& c : cases) {
        TempSupport fresh;
        FakePlatform platform;
        platform.start();
        WorkspaceServer store(platform);
        platform.fail("POST", c.path, c.fault);
        const API api(platform.base(), "k");

        const auto s = finished();
        EXPECT_THROW(Uploader::upload(*s, api, std::nullopt), APIError) << c.path;

        const auto reloaded = Session::load(s->dir());
        ASSERT_TRUE(reloaded) << c.path;
        const SessionMeta& m = reloaded->meta();
        ASSERT_TRUE(m.lastError) << c.path;
        if (c.error)
            EXPECT_EQ(*m.lastError, c.error);
        else
            EXPECT_FALSE(m.lastError->contains("(HTTP")) << m.lastError->toStdString();
        const bool payloadFailed = std::string(c.path) == "/api/calls";
        EXPECT_EQ(m.callId.has_value(), !payloadFailed) << c.path;
        EXPECT_EQ(QFileInfo::exists(s->path("payload.json")), payloadFailed) << "kept for the next attempt";

        platform.clearRequests();
        std::vector<QString> retrySteps;
        const QString id = Uploader::upload(*reloaded, api, std::nullopt, true, false,
                                            [&](const QString& step) { retrySteps.push_back(step); });
        EXPECT_EQ(id, "rec:1") << c.path;
        EXPECT_EQ(sent(platform), c.retry) << c.path;
        EXPECT_EQ(retrySteps.size(), c.retry.size()) << c.path;
        const auto calls = store.calls();
        ASSERT_EQ(calls.size(), 1u) << "one call on the server: " << c.path;
        EXPECT_EQ(calls.begin()->second.audioBytes, audio.size()) << c.path;
        EXPECT_TRUE(calls.begin()->second.processed) << c.path;
        EXPECT_FALSE(QFileInfo::exists(s->dir())) << c.path;
    }
}

TEST_F(Upload, AStopAtAMarkIsNoFailureAndTheNextAttemptGoesOnFromThere)
{
    const auto s = finished();
    const API api(fake.base(), "k");
    EXPECT_THROW(Uploader::upload(*s, api, std::nullopt, true, false,
                                  [](const QString& step) {
                                      if (step.startsWith("Uploading audio"))
                                          throw Uploader::Cancelled();
                                  }),
                 Uploader::Cancelled);
    EXPECT_EQ(sent(fake), std::vector<std::string>{"POST /api/calls"});
    const auto reloaded = Session::load(s->dir());
    ASSERT_TRUE(reloaded);
    EXPECT_EQ(reloaded->meta().callId, "rec:1");
    EXPECT_FALSE(reloaded->meta().lastError);

    fake.clearRequests();
    EXPECT_EQ(Uploader::upload(*reloaded, api, std::nullopt), "rec:1");
    EXPECT_EQ(sent(fake),
              (std::vector<std::string>{"POST /api/calls/rec%3A1/audio", "POST /api/calls/rec%3A1/process"}));
    EXPECT_EQ(server.calls().size(), 1u);
}

TEST_F(Upload, AnAudioUploadThatCrawlsFailsAndTheNextAttemptResumes)
{
    const auto s = finished();
    // More than the socket buffers take at once, so the body has to crawl; sparse, so cheap.
    const qint64 size = 64 * 1024 * 1024;
    QFile track(s->path("mixed.m4a"));
    ASSERT_TRUE(track.open(QIODevice::WriteOnly) && track.resize(size));
    track.close();
    // At most 4 KB every 3 s stays below the client's floor, yet never leaves it
    // idle for its 60 s: without the floor this attempt would take hours.
    fake.fail("POST", "/api/calls/rec:1/audio",
              {.status = 500, .body = R"({"error":"read it all"})", .readEvery = std::chrono::milliseconds(3000)});
    // The client's own floor over a shorter window than its 30 s, so the crawl
    // is caught sooner; the rule is the same.
    const Http::Limits& standard = API::session().limits();
    Http::Session shortWindow(Http::Limits{.requestTimeout = standard.requestTimeout,
                                           .resourceTimeout = standard.resourceTimeout,
                                           .minRate = standard.minRate,
                                           .rateWindow = 7});

    try {
        Uploader::upload(*s, API(fake.base(), "k").over(shortWindow), QString("Ana"), true, false);
        ADD_FAILURE() << "the crawl went through";
    } catch (const APIError& e) {
        EXPECT_EQ(e.reason(), "The request timed out.");
    }
    EXPECT_EQ(s->meta().lastError, "The request timed out.");
    EXPECT_EQ(s->meta().callId, "rec:1");

    fake.clearRequests();
    EXPECT_EQ(upload(*s), "rec:1");
    EXPECT_EQ(sent(fake),
              (std::vector<std::string>{"POST /api/calls/rec%3A1/audio", "POST /api/calls/rec%3A1/process"}));
    ASSERT_EQ(server.calls().size(), 1u);
    EXPECT_EQ(server.calls().begin()->second.audioBytes, size);
}

TEST_F(Upload, CallIdsFromTheAnswer)
{
    struct Case {
        const char* answer;
        std::optional<QString> id; // nothing: "server returned no call id"
        std::string audioTarget;
    };
    const Case cases[] = {
        {R"({"ok":true})", std::nullopt, {}},
        {R"({"id":null})", std::nullopt, {}},
        {R"({"id":42})", "42", "/api/calls/42/audio"},
        {R"({"id":"a b/c"})", "a b/c", "/api/calls/a%20b%2Fc/audio"},
    };
    for (const Case& c : cases) {
        fake.clearRequests();
        const std::string answer = c.answer;
        fake.route("POST", "/api/calls", [answer](const httplib::Request&, httplib::Response& res) {
            FakePlatform::reply(res, 200, answer);
        });
        fake.route("POST", "/api/calls/.+",
                   [](const httplib::Request&, httplib::Response& res) { FakePlatform::reply(res, 200, "{}"); });
        const auto s = finished();
        if (!c.id) {
            try {
                upload(*s);
                ADD_FAILURE() << c.answer;
            } catch (const APIError& e) {
                EXPECT_EQ(e.status(), 0);
                EXPECT_EQ(e.reason(), "server returned no call id");
            }
            const auto m = Session::load(s->dir())->meta();
            EXPECT_EQ(m.lastError, "server returned no call id");
            EXPECT_FALSE(m.callId);
            EXPECT_FALSE(QFileInfo::exists(s->path("payload.json"))) << "the payload itself went through";
            continue;
        }
        EXPECT_EQ(upload(*s, true, true), *c.id);
        EXPECT_EQ(sent(fake)[1], "POST " + c.audioTarget);
        EXPECT_EQ(Session::load(s->dir())->meta().callId, *c.id);
    }
}

TEST_F(Upload, AnotherEndpointStartsOver)
{
    WorkspaceServer other(fake, WorkspaceServer::Mode::full, {}, "/api/v1/p/other");
    other.setProject("other");
    const auto s = finished();
    EXPECT_EQ(upload(*s, true, true), "rec:1");
    EXPECT_EQ(s->meta().uploadedServer, fake.base());

    fake.clearRequests();
    const API moved(fake.base(), "k", fake.base() + "/api/v1/p/other");
    EXPECT_EQ(Uploader::upload(*s, moved, std::nullopt, true, true), "rec:1");
    EXPECT_EQ(sent(fake),
              (std::vector<std::string>{"POST /api/v1/p/other/calls", "POST /api/v1/p/other/calls/rec%3A1/audio",
                                        "POST /api/v1/p/other/calls/rec%3A1/process"}));
    const auto m = Session::load(s->dir())->meta();
    EXPECT_EQ(m.uploadedServer, fake.base() + "/api/v1/p/other");
    EXPECT_TRUE(m.audioUploaded && m.processed);
    EXPECT_EQ(other.calls().size(), 1u);

    fake.clearRequests();
    EXPECT_EQ(Uploader::upload(*s, moved, std::nullopt, true, true), "rec:1");
    EXPECT_TRUE(sent(fake).empty()) << "everything is there already";
}

TEST_F(Upload, WhatIsAskedForDecidesWhenTheFolderGoes)
{
    struct Case {
        bool withAudio;
        bool process;
        bool keepFiles;
        std::vector<std::string> requests;
        bool folderStays;
    };
    const Case cases[] = {
        {true, false, false, {"POST /api/calls", "POST /api/calls/rec%3A1/audio"}, false},
        {true, true, true, {"POST /api/calls", "POST /api/calls/rec%3A1/audio", "POST /api/calls/rec%3A1/process"}, true},
        {false, true, true, {"POST /api/calls", "POST /api/calls/rec%3A1/process"}, true},
    };
    for (const Case& c : cases) {
        TempSupport fresh;
        FakePlatform platform;
        platform.start();
        WorkspaceServer store(platform);
        const auto s = finished(c.withAudio);
        EXPECT_EQ(Uploader::upload(*s, API(platform.base(), "k"), std::nullopt, c.process, c.keepFiles), "rec:1");
        EXPECT_EQ(sent(platform), c.requests);
        EXPECT_EQ(store.calls().at("rec:1").payload.value("expect_audio"), c.withAudio);
        EXPECT_EQ(QFileInfo::exists(s->dir()), c.folderStays);
        if (c.folderStays) {
            const auto m = Session::load(s->dir())->meta();
            EXPECT_EQ(m.audioUploaded, c.withAudio);
            EXPECT_EQ(m.processed, c.process);
            EXPECT_FALSE(m.lastError);
            EXPECT_FALSE(QFileInfo::exists(s->path("payload.json")));
        }
    }
}
