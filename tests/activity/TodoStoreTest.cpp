#include "Helpers.h"
#include "activity/TodoStore.h"
#include "support/FakePlatform.h"
#include "support/TestSupport.h"
#include "support/WorkspaceServer.h"

#include <QJsonArray>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <gtest/gtest.h>
#include <memory>
#include <thread>

namespace {

using namespace std::chrono_literals;

QJsonArray todos(std::initializer_list<const char*> ids)
{
    QJsonArray out;
    for (const char* id : ids)
        out.append(QJsonObject{{"id", id}, {"title", QString("Do ") + id}, {"status", "open"}});
    return out;
}

// One workspace with a server of its own.
struct Site {
    explicit Site(const QString& name, WorkspaceServer::Mode mode = WorkspaceServer::Mode::full)
        : server(fake, mode)
        , ws(name, QString())
    {
        fake.start();
        ws.server = fake.base();
    }
    std::pair<Workspace, API> target() const { return {ws, API(fake.base(), "k")}; }

    FakePlatform fake;
    WorkspaceServer server;
    Workspace ws;
};

class Todos : public ::testing::Test {
protected:
    TempSupport support;
    FixedClock clock;
    Site a{"Alpha"}, b{"Beta"}, c{"Gamma"};
    TodoStore store;

    Todos()
    {
        a.server.setTodos(todos({"a1", "a2"}));
        b.server.setTodos(todos({"b1"}));
        c.server.setTodos(todos({"c1"}));
    }
    TodoStore::Targets abc() const { return {a.target(), b.target(), c.target()}; }

    void refresh(const TodoStore::Targets& targets) { ASSERT_TRUE(settle(store.refresh(targets))); }

    // "workspace/id" of every item, joined with blanks.
    std::string listed() const
    {
        QStringList out;
        for (const Todo& t : store.items())
            out << (t.ws ? t.ws->name : QString("-")) + "/" + t.id;
        return out.join(' ').toStdString();
    }
};

} // namespace

TEST_F(Todos, MergesInTheTargetsOrderWhateverAnswersFirst)
{
    a.fake.fail("GET", "/api/my/todos", {.delay = 300ms});
    c.fake.fail("GET", "/api/my/todos", {.delay = 150ms});
    refresh(abc());
    EXPECT_EQ(listed(), "Alpha/a1 Alpha/a2 Beta/b1 Gamma/c1");
    EXPECT_EQ(store.items()[0].title, "Do a1");
    EXPECT_EQ(store.error(), std::nullopt);
    EXPECT_FALSE(store.needsUpdate());
    EXPECT_EQ(store.loaded(), clock.now());
}

TEST_F(Todos, AFailedWorkspaceKeepsWhatItHad)
{
    refresh(abc());
    a.server.setTodos(todos({"a3"}));
    b.fake.fail("GET", "/api/my/todos", {.drop = true});
    c.fake.fail("GET", "/api/my/todos", {.status = 500, .body = "{\"error\":\"boom\"}"});
    clock.advance(60);
    refresh(abc());
    EXPECT_EQ(listed(), "Alpha/a3 Beta/b1 Gamma/c1");
    ASSERT_TRUE(store.error());
    const QStringList parts = store.error()->split("; ");
    ASSERT_EQ(parts.size(), 2) << store.error()->toStdString();
    EXPECT_TRUE(parts[0].startsWith("Beta: ")) << parts[0].toStdString();
    EXPECT_TRUE(parts[1].startsWith("Gamma: ") && parts[1].endsWith("(HTTP 500)")) << parts[1].toStdString();
    EXPECT_EQ(store.loaded(), clock.now());

    // A different set of servers: nothing of the old list survives a failure.
    Site d("Delta");
    b.fake.fail("GET", "/api/my/todos", {.drop = true});
    refresh({a.target(), b.target(), d.target()});
    EXPECT_EQ(listed(), "Alpha/a3 Delta/t1 Delta/t2");
}

TEST_F(Todos, ServersWithoutToDosAreOutdated)
{
    Site oldA("Old A", WorkspaceServer::Mode::older), oldB("Old B", WorkspaceServer::Mode::older);
    refresh({oldA.target(), b.target()});
    EXPECT_EQ(store.outdated(), QStringList{"Old A"});
    EXPECT_FALSE(store.needsUpdate());
    EXPECT_EQ(listed(), "Beta/b1");

    refresh({oldA.target(), oldB.target()});
    EXPECT_TRUE(store.items().empty());
    EXPECT_EQ(store.outdated(), (QStringList{"Old A", "Old B"}));
    EXPECT_TRUE(store.needsUpdate());
    EXPECT_EQ(store.error(), std::nullopt);
}

TEST_F(Todos, NoTargetsClearsAllButTheLoadTime)
{
    refresh(abc());
    const auto loaded = store.loaded();
    clock.advance(60);
    refresh({});
    EXPECT_TRUE(store.items().empty());
    EXPECT_TRUE(store.outdated().isEmpty());
    EXPECT_EQ(store.loaded(), loaded);
}

TEST_F(Todos, AnOlderRefreshFinishingLastIsDropped)
{
    // Alpha holds its first answer (a1 still open) until the test lets it go; by
    // the next request a1 is finished.
    std::mutex mutex;
    std::condition_variable cv;
    bool release = false;
    std::atomic_int calls = 0;
    a.fake.route("GET", "/api/my/todos", [&](const httplib::Request&, httplib::Response& res) {
        if (++calls == 1) {
            std::unique_lock lock(mutex);
            cv.wait(lock, [&] { return release; });
            FakePlatform::reply(res, 200, "{\"items\":[{\"id\":\"a1\"},{\"id\":\"a2\"}]}");
        } else {
            FakePlatform::reply(res, 200, "{\"items\":[{\"id\":\"a2\"}]}");
        }
    });
    const auto letGo = [&] {
        std::lock_guard lock(mutex);
        release = true;
        cv.notify_all();
    };
    struct Guard {
        std::function<void()> f;
        ~Guard() { f(); }
    } guard{letGo};

    const QFuture<void> older = store.refresh(abc());
    ASSERT_TRUE(waitUntil([&] { return calls == 1; }));
    const QFuture<void> newer = store.refresh(abc());
    ASSERT_TRUE(settle(newer));
    EXPECT_EQ(listed(), "Alpha/a2 Beta/b1 Gamma/c1");
    letGo();
    ASSERT_TRUE(settle(older));
    EXPECT_EQ(listed(), "Alpha/a2 Beta/b1 Gamma/c1");
}

// Many workspaces: a few are asked at a time, and every one is merged in order.
TEST_F(Todos, ManyWorkspacesAreAskedAFewAtATime)
{
    FakePlatform fake;
    std::mutex m;
    int inFlight = 0, most = 0;
    fake.route("GET", "/api/v1/p/([^/]+)/my/todos", [&](const httplib::Request& req, httplib::Response& res) {
        {
            std::lock_guard lock(m);
            most = std::max(most, ++inFlight);
        }
        // Long enough for the askers to overlap; the bound holds either way.
        std::this_thread::sleep_for(20ms);
        {
            std::lock_guard lock(m);
            --inFlight;
        }
        FakePlatform::reply(res, 200, R"([{"id":"t)" + req.matches[1].str() + R"("}])");
    });
    fake.start();
    TodoStore::Targets targets;
    QStringList expected;
    for (int i = 0; i < 30; ++i) {
        const QString n = QString::number(i);
        targets.push_back({Workspace(n, fake.base()), API(fake.base(), "k", fake.base() + "/api/v1/p/" + n)});
        expected << n + "/t" + n;
    }
    refresh(targets);
    EXPECT_EQ(listed(), expected.join(' ').toStdString());
    EXPECT_LE(most, 4);
}
