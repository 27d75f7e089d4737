#include "core/Log.h"
#include "core/Paths.h"
#include "session/Router.h"
#include "support/FakePlatform.h"
#include "support/TestSupport.h"
#include "support/WorkspaceServer.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSet>
#include <cmath>
#include <condition_variable>
#include <gtest/gtest.h>
#include <limits>
#include <mutex>
#include <thread>

namespace {

Workspace project(const QString& name)
{
    return Workspace(name, "https://example.test");
}

RouteResult result(const QString& name, double score, QStringList reasons = {})
{
    return RouteResult{project(name), score, std::move(reasons)};
}

std::vector<QString> names(const std::vector<RouteResult>& results)
{
    std::vector<QString> out;
    for (const auto& r : results)
        out.push_back(r.ws.name);
    return out;
}

} // namespace

TEST(Router, DecideNeedsAClearLead)
{
    struct Case {
        std::vector<double> scores;
        std::optional<bool> autoFile; // nothing: no verdict
    };
    const Case cases[] = {
        {{0.31, 0.72}, true}, {{0.65, 0.50}, false}, // a lead of 0.15
        {{0.55}, false},      {{0.8}, true},         // alone, it leads by 0.8
        {{0.6, 0.4}, false},                         // 0.6 - 0.4 is just under 0.2 in doubles: no rounding first
        {{0.6, 0.375}, true}, {{}, std::nullopt},
    };
    for (const Case& c : cases) {
        std::vector<RouteResult> results;
        for (double s : c.scores)
            results.push_back(result(QString::number(s), s));
        const auto verdict = Router::decide(results);
        ASSERT_EQ(verdict.has_value(), c.autoFile.has_value()) << ::testing::PrintToString(c.scores);
        if (!verdict)
            continue;
        EXPECT_EQ(verdict->best.score, *std::max_element(c.scores.begin(), c.scores.end()));
        EXPECT_EQ(verdict->autoFile, *c.autoFile) << ::testing::PrintToString(c.scores);
    }
}

TEST(Router, SuggestionsFollowTheThresholdsAndReasons)
{
    const QStringList both{"Oxel in the title", "with Oxel, Tamsk"};
    struct Case {
        const char* what;
        std::vector<RouteResult> results;
        bool isCall;
        bool autoFile;
        std::optional<QString> project;
        QString reason;
        bool autoFiled;
    };
    const Case cases[] = {
        {"clear call, below the auto score",
         {result("Bramel", 0.72, both), result("Other", 0.31)},
         true,
         true,
         "Bramel",
         "Oxel in the title",
         false},
        {"0.93 with a participants reason",
         {result("Bramel", 0.93, both), result("Other", 0.31)},
         true,
         true,
         "Bramel",
         "Oxel in the title",
         true},
        {"0.93 without a participants reason",
         {result("Bramel", 0.93, {"Oxel in the title"})},
         true,
         true,
         "Bramel",
         "Oxel in the title",
         false},
        {"0.93 with auto filing off", {result("Bramel", 0.93, both)}, true, false, "Bramel", "Oxel in the title", false},
        {"participants reason comes first",
         {result("Bramel", 0.95, {"agenda", "with Ana"})},
         true,
         true,
         "Bramel",
         "with Ana",
         true},
        {"no team reason",
         {result("Bramel", 0.99, {"agenda matches", "Title matches"})},
         true,
         true,
         std::nullopt,
         "no team signals on this call",
         false},
        {"no scores", {}, true, true, std::nullopt, "no team signals on this call", false},
        {"no clear winner",
         {result("A", 0.65, both), result("B", 0.50, both)},
         true,
         true,
         std::nullopt,
         "not clearly one project",
         false},
        {"a work session",
         {result("Bramel", 1.0, both)},
         false,
         true,
         std::nullopt,
         "a work session \u2014 only you see it",
         false},
        {"case-sensitive prefix",
         {result("Bramel", 0.9, {"With Ana"})},
         true,
         true,
         std::nullopt,
         "no team signals on this call",
         false},
    };
    for (const Case& c : cases) {
        const Suggestion s = Router::suggest(c.results, c.isCall, c.autoFile);
        EXPECT_EQ(s.project ? std::optional(s.project->ws.name) : std::nullopt, c.project) << c.what;
        EXPECT_EQ(s.reason, c.reason) << c.what;
        EXPECT_EQ(s.autoFile, c.autoFiled) << c.what;
    }
}

TEST(Router, LabelsAndEquality)
{
    const RouteResult bramel = result("Bramel", 0.93, {"with Oxel, Tamsk"});
    EXPECT_EQ((Suggestion{bramel, "with Oxel, Tamsk", true}).label(), "Bramel \u00B7 with Oxel, Tamsk");
    EXPECT_EQ((Suggestion{std::nullopt, "not clearly one project", false}).label(),
              "Personal \u00B7 not clearly one project");

    RouteResult rescored = bramel;
    rescored.score = 0.4;
    rescored.reasons = {"other"};
    EXPECT_EQ((Suggestion{bramel, "r", true}), (Suggestion{rescored, "r", true})) << "scores and reasons don't count";
    EXPECT_NE((Suggestion{bramel, "r", true}), (Suggestion{result("Bramel", 0.93), "r", true})) << "another id";
    EXPECT_NE((Suggestion{bramel, "r", true}), (Suggestion{std::nullopt, "r", true}));
    EXPECT_NE((Suggestion{bramel, "r", true}), (Suggestion{bramel, "r", false}));
    EXPECT_NE((Suggestion{bramel, "r", true}), (Suggestion{bramel, "other", true})) << "another reason";
    // Two personal suggestions: no project to compare, so the reason decides.
    EXPECT_EQ((Suggestion{std::nullopt, "r", false}), (Suggestion{std::nullopt, "r", false}));
    EXPECT_NE((Suggestion{std::nullopt, "r", false}), (Suggestion{std::nullopt, "other", false}));

    EXPECT_EQ(result("a", 0.72).percent(), 72);
    EXPECT_EQ(result("a", 0.125).percent(), 13) << "halves away from zero";
    EXPECT_EQ(result("a", std::nan("")).percent(), 0);
}

TEST(Router, ScoreThatIsNotANumberSortsLast)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::vector<RouteResult> results{result("nan", nan, {"with Ana"}), result("Bramel", 0.7, {"with Ana"}),
                                           result("low", 0.1), result("nan2", nan)};
    const auto verdict = Router::decide(results);
    ASSERT_TRUE(verdict);
    EXPECT_EQ(verdict->best.ws.name, "Bramel");
    EXPECT_TRUE(verdict->autoFile);
    EXPECT_EQ(Router::suggest(results, true, false).project->ws.name, "Bramel");
}

TEST(Router, TextOfASession)
{
    SessionMeta meta;
    meta.apps = std::vector<AppSpan>{
        {0, 5, "Editor", QString("main.cpp")}, {5, 6, "(private)", QString("Vault")},
        {6, 8, "Browser", std::nullopt},       {8, 9, "Editor", QString("main.cpp")}, // repeated: listed once
        {9, 10, "Mail", QString("")},                                                 // an empty title still gives ": "
        {10, 11, "(Private)", std::nullopt}, // only the exact marker is private
    };
    meta.pins = {{1, "look here", "pins/000.jpg", {}, {}},
                 {2, "", "pins/001.jpg", {}, {}},
                 {3, "look here", "pins/002.jpg", {}, {}}};
    meta.ocr = std::vector<OcrEntry>{{1, "Editor", "int main"}, {2, "Editor", ""}, {3, "Editor", "int main"}};
    EXPECT_EQ(Router::text(meta),
              "Editor: main.cpp\nBrowser\nMail: \n(Private)\nPin: look here\nPin: look here\n"
              "int main\n\nint main");

    EXPECT_EQ(Router::text(SessionMeta{}), "");
}

TEST(Router, TextIsCutAtTwentyThousandCharacters)
{
    const QString e = QStringLiteral("e\u0301"); // one character, two code units
    struct Case {
        QString screen;
        QString expected;
    };
    const Case cases[] = {
        {QString(20000, 'x'), QString(20000, 'x')},
        {QString(20001, 'x'), QString(20000, 'x')},
        {e.repeated(20001), e.repeated(20000)},
        {QString(19999, 'x') + e + "y", QString(19999, 'x') + e},
    };
    for (const Case& c : cases) {
        SessionMeta meta;
        meta.ocr = std::vector<OcrEntry>{{0, "App", c.screen}};
        EXPECT_EQ(Router::text(meta), c.expected) << c.screen.size();
    }
}

// Three projects on one local platform: scores outside 0…1 are clamped, a failing
// project is logged and left out.
TEST(Router, ScoreAllClampsAndLeavesFailuresOut)
{
    TempSupport support;
    FakePlatform fake;
    fake.start();
    WorkspaceServer high(fake, WorkspaceServer::Mode::full, {}, "/api/v1/p/high");
    WorkspaceServer low(fake, WorkspaceServer::Mode::full, {}, "/api/v1/p/low");
    WorkspaceServer broken(fake, WorkspaceServer::Mode::full, {}, "/api/v1/p/broken");
    high.setRouteScore(QJsonObject{{"score", 1.4}, {"reasons", QJsonArray{"with Ana", "agenda"}}});
    low.setRouteScore(QJsonObject{{"score", -0.2}, {"reasons", QJsonArray()}});
    fake.fail("POST", "/api/v1/p/broken/route/score", {.status = 500, .body = R"({"error":"boom"})"});

    const Workspace wsHigh("High", fake.base()), wsLow("Low", fake.base()), wsBroken("Broken", fake.base());
    const std::vector<std::pair<Workspace, API>> targets{
        {wsLow, API(fake.base(), "k", fake.base() + "/api/v1/p/low")},
        {wsBroken, API(fake.base(), "k", fake.base() + "/api/v1/p/broken")},
        {wsHigh, API(fake.base(), "k", fake.base() + "/api/v1/p/high")},
    };
    const auto results = Router::scoreAll(targets, "Weekly", "Zoom", {"Ana"}, "agenda").result();

    ASSERT_EQ(names(results), (std::vector<QString>{"High", "Low"}));
    EXPECT_EQ(results[0].ws.id, wsHigh.id);
    EXPECT_EQ(results[0].score, 1.0);
    EXPECT_EQ(results[0].percent(), 100);
    EXPECT_EQ(results[0].reasons, (QStringList{"with Ana", "agenda"}));
    EXPECT_EQ(results[1].score, 0.0);

    const auto seen = fake.requests();
    ASSERT_EQ(seen.size(), 3u);
    for (const auto& r : seen)
        EXPECT_EQ(QJsonDocument::fromJson(QByteArray::fromStdString(r.body)).object(),
                  (QJsonObject{{"title", "Weekly"},
                               {"app", "Zoom"},
                               {"participants", QJsonArray{"Ana"}},
                               {"text", "agenda"}}));

    slogFlush();
    const QString log = QString::fromUtf8(readFile(Paths::logFile()));
    EXPECT_TRUE(log.contains("route/score @ Broken: boom (HTTP 500)")) << log.toStdString();
    EXPECT_EQ(log.count("route/score @"), 1) << log.toStdString();

    EXPECT_TRUE(Router::scoreAll({}, "t", "a", {}, "").result().empty());
}

// Each answer waits until every project has been asked; asked one after the
// other, the first would give up and the result would miss projects.
TEST(Router, ScoreAllAsksEveryProjectAtOnce)
{
    TempSupport support;
    FakePlatform fake;
    fake.start();
    constexpr int projects = 4;
    std::mutex m;
    std::condition_variable cv;
    int arrived = 0;
    fake.route("POST", "/api/v1/p/([^/]+)/route/score", [&](const httplib::Request&, httplib::Response& res) {
        std::unique_lock lock(m);
        ++arrived;
        cv.notify_all();
        if (!cv.wait_for(lock, std::chrono::seconds(20), [&] { return arrived >= projects; }))
            return FakePlatform::error(res, 503, "asked one at a time");
        FakePlatform::reply(res, 200, R"({"score":0.5,"reasons":[]})");
    });
    std::vector<std::pair<Workspace, API>> targets;
    for (int i = 0; i < projects; ++i)
        targets.push_back({Workspace(QString::number(i), fake.base()),
                           API(fake.base(), "k", fake.base() + "/api/v1/p/" + QString::number(i))});
    EXPECT_EQ(Router::scoreAll(targets, "t", "a", {}, "").result().size(), size_t(projects));
}

// A platform that lists many projects: a few requests at a time, and only the
// first projects are scored; the rest take no score.
TEST(Router, ScoreAllAsksAFewAtATimeAndOnlyTheFirstProjects)
{
    TempSupport support;
    FakePlatform fake;
    fake.start();
    std::mutex m;
    int inFlight = 0, most = 0;
    fake.route("POST", "/api/v1/p/([^/]+)/route/score", [&](const httplib::Request&, httplib::Response& res) {
        {
            std::lock_guard lock(m);
            most = std::max(most, ++inFlight);
        }
        // Long enough for the askers to overlap; the bound holds either way.
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        {
            std::lock_guard lock(m);
            --inFlight;
        }
        FakePlatform::reply(res, 200, R"({"score":0.5,"reasons":[]})");
    });
    constexpr int scored = 40, together = 4;
    const int projects = scored + 25;
    std::vector<std::pair<Workspace, API>> targets;
    for (int i = 0; i < projects; ++i)
        targets.push_back({Workspace(QString::number(i), fake.base()),
                           API(fake.base(), "k", fake.base() + "/api/v1/p/" + QString::number(i))});
    const auto results = Router::scoreAll(targets, "t", "a", {}, "").result();
    ASSERT_EQ(results.size(), size_t(scored));
    QSet<QString> names;
    for (const auto& r : results)
        names.insert(r.ws.name);
    for (int i = 0; i < scored; ++i)
        EXPECT_TRUE(names.contains(QString::number(i))) << i;
    EXPECT_EQ(fake.requests().size(), size_t(scored));
    EXPECT_LE(most, together);
}

// A 307 from one project's score to another server: the session's text is not
// sent there, and that project takes no score.
TEST(Router, AScoreRedirectedToAnotherServerIsNeitherResentNorUsed)
{
    TempSupport support;
    FakePlatform fake, other;
    fake.start();
    other.start();
    WorkspaceServer good(fake, WorkspaceServer::Mode::full, {}, "/api/v1/p/good");
    good.setRouteScore(QJsonObject{{"score", 0.4}, {"reasons", QJsonArray()}});
    WorkspaceServer thief(other, WorkspaceServer::Mode::full, {}, "/api/v1/p/bad");
    thief.setRouteScore(QJsonObject{{"score", 1.0}, {"reasons", QJsonArray{"with Ana"}}});
    fake.fail("POST", "/api/v1/p/bad/route/score",
              {.status = 307, .location = other.base().toStdString() + "/api/v1/p/bad/route/score"}, -1);
    const std::vector<std::pair<Workspace, API>> targets{
        {Workspace("Good", fake.base()), API(fake.base(), "k", fake.base() + "/api/v1/p/good")},
        {Workspace("Bad", fake.base()), API(fake.base(), "k", fake.base() + "/api/v1/p/bad")},
    };
    const auto results = Router::scoreAll(targets, "Weekly", "Zoom", {"Ana"}, "secret screen text").result();
    EXPECT_EQ(names(results), (std::vector<QString>{"Good"}));
    EXPECT_TRUE(other.requests().empty()) << "the body went to " << other.requests().at(0).path;
}
