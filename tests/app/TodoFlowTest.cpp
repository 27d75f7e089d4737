// To-dos through the controller: Start and Done on the project's server over
// real HTTP, the nudge when that fails, the reload after every action, and the
// openers of boards and platform pages.
#include "ControllerFixture.h"

#include "core/Net.h"
#include "menu/MenuModel.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QThreadPool>
#include <future>

namespace {

class TodoFlow : public ControllerFixture {
protected:
    void SetUp() override
    {
        ControllerFixture::SetUp();
        signIn();
        web->project("bramel").setTodos(todoItems({{"t1", "open"}, {"t2", "open"}}));
        web->project("tovarind").setTodos({});
        loadTodos();
    }

    const Todo& todo(const QString& id)
    {
        for (const Todo& t : c->todos->items())
            if (t.id == id)
                return t;
        throw std::runtime_error("no such to-do");
    }

    // Runs the action's request, then waits for the reload's menu.
    void act(const Todo& t, bool start)
    {
        const int before = menu.rebuilds;
        c->todoAction(t, start);
        ASSERT_EQ(worker.jobs.size(), 1u);
        worker.finishAll();
        ASSERT_TRUE(waitFor([&] { return menu.rebuilds > before; }));
    }

    QStringList rowIds()
    {
        QStringList ids;
        for (const auto& g : menu.model().s().groups)
            for (const auto& r : g.items)
                ids << r.title + (r.start ? " start" : "") + (r.busy ? " busy" : "");
        return ids;
    }
};

} // namespace

TEST_F(TodoFlow, StartAndDoneReachTheServerAndTheListReloads)
{
    EXPECT_EQ(rowIds(), (QStringList{"Do t1 start", "Do t2 start"}));

    // The server now reports t1 as running: after the reload it has no Start.
    web->project("bramel").setTodos(todoItems({{"t1", "running"}, {"t2", "open"}}));
    act(todo("t1"), true);
    EXPECT_EQ(rowIds(), (QStringList{"Do t1 busy", "Do t2 start"}));

    // Meanwhile a new to-do came in: it shows after the reload that follows Done.
    web->project("bramel").setTodos(todoItems({{"t1", "running"}, {"t2", "open"}, {"t4", "open"}}));
    act(todo("t2"), false);
    EXPECT_EQ(rowIds(), (QStringList{"Do t1 busy", "Do t2 start", "Do t4 start"}));

    EXPECT_EQ(web->project("bramel").todoActions(), (std::vector<std::string>{"start t1", "finish t2"}));
    const QStringList lines = logLines();
    EXPECT_TRUE(lines.contains("todo start t1"));
    EXPECT_TRUE(lines.contains("todo finish t2"));
    EXPECT_TRUE(nudges.shown.empty());
}

TEST_F(TodoFlow, AFailedActionNudgesAndStillReloads)
{
    struct Case {
        int status;
        const char* message;
    };
    const std::vector<Case> cases = {
        {404, "This workspace needs an update."},
        {500, "boom (HTTP 500)"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.status);
        nudges.shown.clear();
        const int requests = int(fake.requests().size());
        fake.fail("POST", ".*/my/todos/t1/finish", {.status = k.status, .body = R"({"error":"boom"})"});
        act(todo("t1"), false);
        ASSERT_EQ(nudges.shown.size(), 1u);
        const auto& n = nudges.shown[0];
        EXPECT_EQ(n.kind, "todo");
        EXPECT_EQ(n.priority, 1);
        EXPECT_EQ(n.icon, "/");
        EXPECT_EQ(n.title, "Couldn’t update “Do t1”");
        EXPECT_EQ(n.message, k.message);
        EXPECT_TRUE(n.buttons.empty());
        EXPECT_EQ(n.timeout, 8);
        // The list was asked for again after the failure.
        const auto seen = fake.requests();
        EXPECT_TRUE(std::any_of(seen.begin() + requests, seen.end(),
                                [](const auto& r) { return r.method == "GET" && r.path.ends_with("/my/todos"); }));
    }

    // A long title is cut to 39 characters and "…" in the nudge.
    web->project("bramel").setTodos(QJsonArray{QJsonObject{{"id", "t9"}, {"title", QString(41, u'x')}}});
    loadTodos();
    nudges.shown.clear();
    fake.fail("POST", ".*/my/todos/t9/start", {.status = 500});
    act(todo("t9"), true);
    ASSERT_EQ(nudges.shown.size(), 1u);
    EXPECT_EQ(nudges.shown[0].title, "Couldn’t update “" + QString(39, u'x') + "…”");
}

TEST_F(TodoFlow, AnOlderListLandingLastDoesNotBringBackAFinishedToDo)
{
    // The first reload is held at the server until the second has been shown.
    // Let go in any case, so that the server can stop.
    struct Release {
        std::promise<void> promise;
        bool done = false;
        void operator()()
        {
            if (!std::exchange(done, true))
                promise.set_value();
        }
        ~Release() { (*this)(); }
    } release;
    std::shared_future<void> released = release.promise.get_future().share();
    auto first = std::make_shared<std::atomic<bool>>(true);
    const QJsonArray old = todoItems({{"t1", "open"}, {"t2", "open"}});
    fake.route("GET", "/api/v1/p/bramel/my/todos",
               [released, first, old](const httplib::Request&, httplib::Response& res) {
                   if (first->exchange(false)) {
                       released.wait();
                       FakePlatform::reply(res, 200, QJsonDocument(QJsonObject{{"items", old}}).toJson().toStdString());
                   } else {
                       FakePlatform::reply(res, 200, R"({"items":[{"id":"t2","title":"Do t2","status":"open"}]})");
                   }
               });
    c->refreshTodos();
    ASSERT_TRUE(waitFor([&] { return !first->load(); }));
    act(todo("t1"), false);
    EXPECT_EQ(rowIds(), QStringList{"Do t2 start"});

    release();
    Net::pool().waitForDone();
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_EQ(rowIds(), QStringList{"Do t2 start"});
    EXPECT_EQ(c->todos->items().size(), 1u);
}

TEST_F(TodoFlow, ARefreshWhereNoServerHasToDosSaysSoOnce)
{
    fake.fail("GET", ".*/my/todos", {.status = 404, .body = R"({"error":"nope"})"}, 2);
    loadTodos();
    const QStringList lines = logLines();
    EXPECT_TRUE(lines.contains("todos: needs an update (404)"));
    EXPECT_FALSE(std::any_of(lines.begin(), lines.end(),
                             [](const QString& l) { return l.startsWith("todos: ") && l.contains("nope"); }));
    EXPECT_EQ(menu.model().s().upNextNote, "These projects need an update");
}

TEST_F(TodoFlow, WithoutAClientATodoButtonDoesNothing)
{
    accounts->signOut();
    Todo loose;
    loose.id = "x";
    loose.title = "Loose";
    c->todoAction(loose, true);
    EXPECT_TRUE(worker.jobs.empty());
    EXPECT_TRUE(nudges.shown.empty());
}

TEST_F(TodoFlow, BoardsAndPlatformPagesOpenOnTheCleanedBase)
{
    const QString base = fake.base();
    const Workspace bramel = settings->projects()[0];
    c->openBoard(bramel);
    c->openBoard(std::nullopt);
    settings->setPlatformBase(base + "/");
    c->openPlatform("/app/start");
    EXPECT_EQ(board.calls,
              (QStringList{"open " + bramel.link("board")->text(), "open " + base + "/app",
                           "open " + base + "/app/start"}));

    board.calls.clear();
    settings->setPlatformBase("no host here");
    c->openPlatform("/app/start");
    accounts->signOut();
    settings->setWorkspaces({});
    c->openBoard(std::nullopt);
    EXPECT_EQ(board.calls, QStringList{});
}
