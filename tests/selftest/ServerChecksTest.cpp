// The workspace server checks judge the server's answers: a malformed one fails
// its check, a correct one passes, over real HTTP to the test server.
#include "selftest/Live.h"
#include "selftest/ReportLines.h"
#include "support/FakePlatform.h"
#include "support/WorkspaceServer.h"

#include <atomic>

namespace {

struct Answer {
    const char* what;
    std::string body;
    bool passes;
};

class ServerChecks : public ::testing::Test {
protected:
    void SetUp() override { fake.start(); }

    // The whole suite against the server; the lines it printed.
    ReportLines runChecks()
    {
        RunContext run;
        run.args = QStringList{QStringLiteral("zelvan"), QStringLiteral("--selftest"), QStringLiteral("--server"),
                               fake.base()};
        return ReportLines::capture([&] { SelfTest::serverChecks(run); });
    }

    FakePlatform fake;
    WorkspaceServer server{fake};
};

} // namespace

TEST_F(ServerChecks, ToDosAnswerNeedsItemsWithIds)
{
    const std::vector<Answer> answers{
        {"items with ids", R"({"items":[{"id":"t1","title":"Send the offer"},{"id":7,"title":"Call"}]})", true},
        {"a bare array", R"([{"id":"t1","title":"Send the offer"}])", true},
        {"no items at all", R"({})", false},
        {"the list under another name", R"({"todos":[{"id":"t1","title":"Send the offer"}]})", false},
        {"a to-do without an id", R"({"items":[{"id":"t1","title":"a"},{"title":"b"}]})", false},
        {"a to-do with an empty id", R"({"items":[{"id":"","title":"a"}]})", false},
        {"an item that is not an object", R"({"items":["t1"]})", false},
    };
    for (const Answer& a : answers) {
        fake.route("GET", "/api/my/todos", [body = a.body](const httplib::Request&, httplib::Response& res) {
            FakePlatform::reply(res, 200, body);
        });
        const QString line = runChecks().of(QStringLiteral("GET /api/my/todos"));
        EXPECT_TRUE(line.startsWith(a.passes ? QStringLiteral("PASS  ") : QStringLiteral("FAIL  ")))
            << a.what << ": " << line.toStdString();
    }
}

TEST_F(ServerChecks, WrapStatusMayBeRunningButReadingMustNotStartOne)
{
    const QString name = QStringLiteral("GET /api/workday/wrap (status only, no wrap started)");
    const std::vector<Answer> answers{
        {"none", R"({"status":"none"})", true},
        {"a wrap the person started elsewhere", R"({"status":"running"})", true},
        {"done", R"({"status":"done","summary":"A good day"})", true},
        {"no status", R"({"highlights":[]})", false},
        {"a status that is no text", R"({"status":1})", false},
    };
    for (const Answer& a : answers) {
        fake.route("GET", "/api/workday/wrap", [body = a.body](const httplib::Request&, httplib::Response& res) {
            FakePlatform::reply(res, 200, body);
        });
        const QString line = runChecks().of(name);
        EXPECT_TRUE(line.startsWith(a.passes ? QStringLiteral("PASS  ") : QStringLiteral("FAIL  ")))
            << a.what << ": " << line.toStdString();
    }

    // A server whose status read starts the wrap.
    auto reads = std::make_shared<std::atomic<int>>(0);
    fake.route("GET", "/api/workday/wrap", [reads](const httplib::Request&, httplib::Response& res) {
        FakePlatform::reply(res, 200, (*reads)++ == 0 ? R"({"status":"none"})" : R"({"status":"running"})");
    });
    const ReportLines l = runChecks();
    EXPECT_TRUE(l.of(name).startsWith(QStringLiteral("FAIL  ") + name + QStringLiteral("  — reading the status started")))
        << l.joined().toStdString();
}

TEST_F(ServerChecks, AnIdempotentDeleteIsCorrect)
{
    server.setIdempotentDelete(true);
    const ReportLines l = runChecks();
    EXPECT_EQ(l.of(QStringLiteral("test card deleted")), QStringLiteral("PASS  test card deleted")) << l.joined().toStdString();
}
