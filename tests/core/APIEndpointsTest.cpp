#include "core/API.h"
#include "core/Json.h"
#include "core/Strings.h"
#include "support/FakePlatform.h"
#include "support/TestSupport.h"
#include "support/WorkspaceServer.h"

#include <QJsonDocument>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

using Mode = WorkspaceServer::Mode;

class Endpoints : public ::testing::Test {
protected:
    void SetUp() override { fake.start(); }

    // Answers `json` to every request of method and path from now on.
    void answer(const std::string& method, const std::string& path, const char* json)
    {
        const std::string body = json;
        fake.route(method, path,
                   [body](const httplib::Request&, httplib::Response& res) { FakePlatform::reply(res, 200, body); });
    }

    API api() const { return API(fake.base(), "k"); }

    FakePlatform fake;
};

QJsonObject object(const char* json)
{
    return QJsonDocument::fromJson(json).object();
}

} // namespace

TEST_F(Endpoints, EveryOperationAgainstTheLegacyServer)
{
    WorkspaceServer server(fake, Mode::auth, "k");
    const API a = api();

    EXPECT_EQ(a.me(), "Test Person");

    const auto todos = a.todos();
    ASSERT_EQ(todos.size(), 2u);
    EXPECT_EQ(todos[0], (Todo{1, "t1", "Send the offer", "open", "Sales", "S", std::nullopt}));
    EXPECT_EQ(todos[1], (Todo{2, "t2", "Review the draft", "doing", std::nullopt, std::nullopt, std::nullopt}));
    a.startTodo("t1");
    a.finishTodo("t2");
    EXPECT_EQ(server.todoActions(), (std::vector<std::string>{"start t1", "finish t2"}));

    const QJsonArray spans{QJsonObject{{"start", "2025-01-31T08:00:00Z"},
                                       {"end", "2025-01-31T09:00:00Z"},
                                       {"app", "Editor"},
                                       {"title", QJsonValue::Null}}};
    a.uploadWorkday("2025-01-31", spans);
    ASSERT_EQ(server.workdays().size(), 1u);
    EXPECT_EQ(server.workdays()[0], (QJsonObject{{"day", "2025-01-31"}, {"spans", spans}})) << "spans go as they are";

    EXPECT_EQ(a.wrapStatus("2025-01-31").status, "none");
    EXPECT_EQ(server.wrapsStarted(), 0) << "reading the status starts no wrap";
    EXPECT_EQ(a.startWrap("2025-01-31"), "running");
    EXPECT_EQ(a.wrapStatus("2025-01-31").status, "running");

    const auto score = a.routeScore("Weekly", "Screen", {"Ana", "Bo"}, "agenda");
    EXPECT_EQ(score, (API::Score{0.5, {"title matches the project"}}));
    const auto coach = a.coachLive(QJsonObject{{"t", 120}, {"kind", "session"}});
    EXPECT_FALSE(coach.tip);
    EXPECT_EQ(coach.nextAfter, 90.0);

    EXPECT_EQ(a.createTask("Card", "why: test"), "task:1");
    EXPECT_EQ(server.tasks().back(), (QJsonObject{{"title", "Card"}, {"notes", "why: test"}}));

    // A filed call: payload, streamed audio, detail, delete.
    const QString id = Json::str(a.json("POST", "/api/calls",
                                        QJsonObject{{"title", "T"},
                                                    {"source", "mac"},
                                                    {"shots", QJsonArray{1, 2}},
                                                    {"pins", QJsonArray{3}}})
                                     .value("id"))
                           .value_or("");
    ASSERT_TRUE(id.startsWith("rec:"));
    QTemporaryDir dir;
    writeFile(dir.filePath("a.m4a"), QByteArray(100000, 'x'));
    a.upload("POST", "/api/calls/" + urlComponent(id) + "/audio", dir.filePath("a.m4a"), "audio/mp4");
    const QJsonObject detail = a.callDetail(id);
    EXPECT_EQ(detail.value("has_audio"), true);
    EXPECT_EQ(detail.value("n_shots"), 3);
    EXPECT_EQ(detail.value("source"), "mac");
    EXPECT_TRUE(detail.contains("review"));
    EXPECT_EQ(server.calls().at(id.toStdString()).audioBytes, 100000);
    a.json("DELETE", "/api/calls/" + urlComponent(id));
    try {
        a.callDetail(id);
        ADD_FAILURE() << "deleted call still there";
    } catch (const APIError& e) {
        EXPECT_TRUE(e.isMissing());
    }
}

TEST_F(Endpoints, ServerModes)
{
    const auto missing = [](const APIError& e) { return e.isMissing(); };
    struct Case {
        Mode mode;
        QString key;
        std::function<void(const API&)> call;
        std::function<bool(const APIError&)> expected; // nothing: the call succeeds
    };
    const Case cases[] = {
        {Mode::older, "", [](const API& a) { a.me(); }, {}},
        {Mode::older, "", [](const API& a) { a.routeScore("t", "Screen", {}, ""); }, missing},
        {Mode::older, "", [](const API& a) { a.coachLive({}); }, missing},
        {Mode::older, "", [](const API& a) { a.todos(); }, missing},
        {Mode::older, "", [](const API& a) { a.startTodo("t1"); }, missing},
        {Mode::older, "", [](const API& a) { a.uploadWorkday("2025-01-31", {}); }, missing},
        {Mode::older, "", [](const API& a) { a.wrapStatus("2025-01-31"); }, missing},
        {Mode::auth, "", [](const API& a) { a.me(); },
         [](const APIError& e) { return e.description() == "a valid key is required (HTTP 401)"; }},
        {Mode::auth, "wrong", [](const API& a) { a.todos(); }, [](const APIError& e) { return e.status() == 401; }},
        {Mode::auth, "k", [](const API& a) { a.todos(); }, {}},
        {Mode::notJson, "", [](const API& a) { a.me(); },
         [](const APIError& e) { return e.description() == "unexpected response (not JSON) from 127.0.0.1 (HTTP 200)"; }},
        {Mode::dropped, "", [](const API& a) { a.todos(); },
         [](const APIError& e) { return e.status() == 0 && e.reason() == "The network connection was lost."; }},
        {Mode::slow, "", [](const API& a) { a.me(); }, {}},
        {Mode::full, "", [](const API& a) { a.startTodo("nope"); }, missing},
    };
    for (const auto& c : cases) {
        FakePlatform platform;
        platform.start();
        WorkspaceServer server(platform, c.mode, "k", "/api", std::chrono::milliseconds(300));
        const API a(platform.base(), c.key);
        SCOPED_TRACE(int(c.mode));
        try {
            c.call(a);
            EXPECT_FALSE(c.expected) << "no error";
        } catch (const APIError& e) {
            ASSERT_TRUE(c.expected) << e.description().toStdString();
            EXPECT_TRUE(c.expected(e)) << e.description().toStdString();
        }
    }
}

TEST_F(Endpoints, ADeletedCallGone410IsNotMissing)
{
    WorkspaceServer server(fake, Mode::gone410);
    const QString id = api().json("POST", "/api/calls", QJsonObject{{"title", "T"}}).value("id").toString();
    api().json("DELETE", "/api/calls/" + urlComponent(id));
    try {
        api().callDetail(id);
        ADD_FAILURE();
    } catch (const APIError& e) {
        EXPECT_EQ(e.status(), 410);
        EXPECT_FALSE(e.isMissing());
    }
}

TEST_F(Endpoints, ProjectRootReplacesTheApiPrefix)
{
    WorkspaceServer server(fake, Mode::full, "", "/api/v1/p/demo");
    const API project(fake.base() + "/app/p/demo", "k", fake.base() + "/api/v1/p/demo/");
    EXPECT_EQ(project.me(), "Test Person");
    EXPECT_EQ(project.todos().size(), 2u);
    for (const auto& r : fake.requests())
        EXPECT_EQ(r.target.rfind("/api/v1/p/demo/", 0), 0u) << r.target;
}

TEST_F(Endpoints, IdsAndDayArePercentEncoded)
{
    fake.route("POST", ".*",
               [](const httplib::Request&, httplib::Response& res) { FakePlatform::reply(res, 200, "{}"); });
    fake.route("GET", ".*",
               [](const httplib::Request&, httplib::Response& res) { FakePlatform::reply(res, 200, "{}"); });
    const API a = api();
    a.startTodo("a/b c");
    a.finishTodo("rec:1");
    a.callDetail("rec:1?x#y");
    a.wrapStatus("2025-01-31&x=1");
    std::vector<std::string> targets;
    for (const auto& r : fake.requests())
        targets.push_back(r.target);
    EXPECT_EQ(targets,
              (std::vector<std::string>{"/api/my/todos/a%2Fb%20c/start", "/api/my/todos/rec%3A1/finish",
                                        "/api/calls/rec%3A1%3Fx%23y", "/api/workday/wrap?day=2025-01-31%26x%3D1"}));
}

TEST_F(Endpoints, TodosAreReadTolerantly)
{
    struct Case {
        const char* answer;
        std::vector<Todo> todos;
    };
    const Case cases[] = {
        {R"({"items":[{"id":7,"title":"Call"},{"title":"no id"},{"id":"b","n":12}]})",
         {{1, "7", "Call", "", {}, {}, {}}, {12, "b", "b", "", {}, {}, {}}}},
        {R"({"items":[{"id":"a"},5]})", {}},
        {R"([{"id":"a","status":"open","topic":5,"effort":2.5}])", {{1, "a", "a", "open", "5", "2.5", {}}}},
        {R"({"items":[{"id":"a","n":1.5,"title":3,"status":true},{"id":"b","n":"4"}]})",
         {{1, "a", "a", "", {}, {}, {}}, {2, "b", "b", "", {}, {}, {}}}},
        {R"({"items":[{"id":null},{"id":"x","n":1e12}]})", {{2, "x", "x", "", {}, {}, {}}}},
        {R"({"items":{"id":"a"}})", {}},
        {R"({})", {}},
    };
    for (const auto& c : cases) {
        answer("GET", "/api/my/todos", c.answer);
        EXPECT_EQ(api().todos(), c.todos) << c.answer;
    }
}

TEST_F(Endpoints, WrapStatusIsReadTolerantly)
{
    struct Case {
        const char* answer;
        WrapStatus wrap;
    };
    const Case cases[] = {
        {R"({})", WrapStatus{}},
        {R"({"highlights":["a",2,null,{}],"tomorrow":"x","status":1,"summary":5,"error":"late"})",
         WrapStatus{"none", {}, {"a", "2"}, {}, {}, "late"}},
        {R"({"status":"done","summary":"S","tomorrow":[true],"cards":[{"id":1,"title":"T"},{"title":"x"},{"id":"c"}]})",
         WrapStatus{"done", "S", {}, {"1"}, {{"1", "T"}, {"c", "c"}}, {}}},
        {R"({"cards":[{"id":1},5]})", WrapStatus{}},
    };
    for (const auto& c : cases) {
        answer("GET", "/api/workday/wrap", c.answer);
        EXPECT_EQ(api().wrapStatus("2025-01-31"), c.wrap) << c.answer;
    }
    for (const auto& [json, status] : {std::pair{R"({"status":1})", "running"},
                                       std::pair{R"({"status":"queued"})", "queued"}, std::pair{R"([])", "running"}}) {
        answer("POST", "/api/workday/wrap", json);
        EXPECT_EQ(api().startWrap("2025-01-31"), status) << json;
    }
    EXPECT_EQ(QJsonDocument::fromJson(QByteArray::fromStdString(fake.requests().back().body)).object(),
              (QJsonObject{{"day", "2025-01-31"}}));
}

TEST_F(Endpoints, RouteScoreIsReadTolerantly)
{
    const std::pair<const char*, API::Score> cases[] = {
        {R"({"score":"0.75"})", {0.75, {}}},
        {R"({"score":" 0.75"})", {0, {}}},
        {R"({"score":"0.75 "})", {0, {}}},
        {R"({"score":"high"})", {0, {}}},
        {R"({"score":"nan"})", {0, {}}},
        {R"({"score":"inf"})", {0, {}}},
        {R"({"score":"1e-1"})", {0.1, {}}},
        {R"({"score":"+0.5"})", {0.5, {}}},
        {R"({"score":"-0.5"})", {-0.5, {}}},
        {R"({"score":true})", {1, {}}},
        {R"({"score":1.7,"reasons":["a",1,{},null,"b"]})", {1.7, {"a", "1", "b"}}}, // no clamping here
        {R"({"score":null,"reasons":"a"})", {0, {}}},
        {R"({})", {0, {}}},
    };
    for (const auto& [json, score] : cases) {
        answer("POST", "/api/route/score", json);
        EXPECT_EQ(api().routeScore("Weekly", "Screen", {"Ana"}, "text"), score) << json;
    }
    const auto sent = fake.requests().back();
    EXPECT_EQ(
        QJsonDocument::fromJson(QByteArray::fromStdString(sent.body)).object(),
        (QJsonObject{{"title", "Weekly"}, {"app", "Screen"}, {"participants", QJsonArray{"Ana"}}, {"text", "text"}}));
}

TEST_F(Endpoints, CoachLiveIsReadTolerantly)
{
    const std::pair<const char*, API::Coaching> cases[] = {
        {R"({"tip":{"title":"  "},"next_after_s":90})", {std::nullopt, 90}},
        {R"({"tip":{"title":"Ask","card":{"title":" ","why":"w"}}})",
         {LiveTip{"Ask", "", std::nullopt, "w"}, std::nullopt}},
        {R"({"tip":{"title":" Ask ","body":"b","card":{"title":" Card ","why":3}},"next_after_s":"90"})",
         {LiveTip{" Ask ", "b", "Card", std::nullopt}, std::nullopt}},
        {R"({"tip":{"title":"T","body":4,"card":"x"},"next_after_s":1.5})",
         {LiveTip{"T", "", std::nullopt, std::nullopt}, 1.5}},
        {R"({"tip":"x","next_after_s":30})", {std::nullopt, 30}},
        {R"({"tip":{"title":7}})", {std::nullopt, std::nullopt}},
        {R"({})", {std::nullopt, std::nullopt}},
    };
    const QJsonObject snapshot = object(
        R"({"started":"2025-01-31T08:00:00Z","t":120,"ocr":[],"apps":[],"pins":[],"kind":"session"})");
    for (const auto& [json, coaching] : cases) {
        answer("POST", "/api/coach/live", json);
        EXPECT_EQ(api().coachLive(snapshot), coaching) << json;
    }
    EXPECT_EQ(QJsonDocument::fromJson(QByteArray::fromStdString(fake.requests().back().body)).object(), snapshot)
        << "the snapshot goes as it is";
}

TEST_F(Endpoints, CreateTaskSendsNotesOnlyWhenGivenAndReadsEitherId)
{
    struct Case {
        std::optional<QString> notes;
        const char* answer;
        QJsonObject sent;
        std::optional<QString> id;
    };
    const Case cases[] = {
        {"", R"({"task":{"id":42}})", {{"title", "T"}}, "42"},
        {std::nullopt, R"({})", {{"title", "T"}}, std::nullopt},
        {" ", R"({"id":7,"task":{"id":8}})", {{"title", "T"}, {"notes", " "}}, "7"},
        {"why", R"({"id":null,"task":{"id":"t-1"}})", {{"title", "T"}, {"notes", "why"}}, "t-1"},
        {"why", R"({"task":"x"})", {{"title", "T"}, {"notes", "why"}}, std::nullopt},
    };
    for (const auto& c : cases) {
        answer("POST", "/api/tasks", c.answer);
        EXPECT_EQ(api().createTask("T", c.notes), c.id) << c.answer;
        EXPECT_EQ(QJsonDocument::fromJson(QByteArray::fromStdString(fake.requests().back().body)).object(), c.sent);
    }
}

TEST_F(Endpoints, MeNeedsAnEgoWithAName)
{
    for (const char* json : {R"({"ego":{"name":3}})", R"({"ego":"x"})", R"({})", R"([])"}) {
        answer("GET", "/api/me", json);
        try {
            api().me();
            ADD_FAILURE() << json;
        } catch (const APIError& e) {
            EXPECT_EQ(e.status(), 0);
            EXPECT_EQ(e.description(), "no ego in /api/me") << json;
        }
    }
    answer("GET", "/api/me", R"({"ego":{"name":""}})");
    EXPECT_EQ(api().me(), "");
}
