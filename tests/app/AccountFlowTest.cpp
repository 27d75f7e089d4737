// The account kept fresh from the platform, a device sign-in's completion and
// the settings window's sign-out, over real HTTP to the fake platform.
#include "ControllerFixture.h"

#include "menu/MenuModel.h"
#include "session/Session.h"
#include "support/WorkspaceServer.h"

namespace {

using namespace std::chrono_literals;

class AccountFlow : public ControllerFixture {
protected:
    // Runs the refresh through the worker; whether its closure ran.
    bool refresh()
    {
        bool ran = false;
        c->refreshAccount([&ran] { ran = true; });
        worker.finishAll();
        return ran;
    }

    void finishedRecordings(int n)
    {
        for (int i = 0; i < n; ++i) {
            const QDateTime at(QDate(2025, 1, 30), QTime(9, i), QTimeZone::utc());
            auto s = Session::create("Call", "Screen", std::nullopt, at);
            s->meta().ended = at.addSecs(30);
            s->save();
        }
    }
};

} // namespace

TEST_F(AccountFlow, RefreshAppliesTheAccountOrShowsWhyItCouldNot)
{
    signIn();
    settings->setProjects({});
    settings->setAccountError("old");

    // The platform's answer replaces the projects and clears the error.
    EXPECT_TRUE(refresh());
    EXPECT_EQ(settings->projects().size(), 2u);
    EXPECT_EQ(settings->accountError(), std::nullopt);
    EXPECT_EQ(logLines().last(), "me: ada@example.com, projects [\"bramel(owner)\", \"tovarind(member)\"]");
    EXPECT_EQ(menu.model().s().sub, "2 projects");

    // A server error keeps the account and says so.
    fake.fail("GET", "/api/v1/me", {.status = 500, .body = R"({"error":"boom"})"});
    EXPECT_TRUE(refresh());
    EXPECT_EQ(settings->accountError(), "couldn’t load your projects: boom (HTTP 500)");
    EXPECT_EQ(logLines().last(), "me failed: boom (HTTP 500)");
    EXPECT_EQ(settings->projects().size(), 2u);
    EXPECT_EQ(menu.model().s().statusTone, ZVChip::Tone::amber);

    // A key the platform no longer takes: still signed in locally, with the error.
    ASSERT_TRUE(accounts->signIn("zv_revoked", "ada@example.com", std::nullopt));
    EXPECT_TRUE(refresh());
    EXPECT_EQ(settings->accountError(), "the sign-in is no longer valid — sign out and sign in again");
    EXPECT_EQ(logLines().last(), "me: 401, key no longer valid");
    EXPECT_TRUE(accounts->signedIn());
    EXPECT_EQ(settings->projects().size(), 2u);
    EXPECT_EQ(menu.model().s().attention.front().id, "a.err");

    // A project without a seat is logged with "-".
    fake.route("GET", "/api/v1/me", [](const httplib::Request&, httplib::Response& res) {
        FakePlatform::reply(
            res, 200, R"({"account":{"id":"1","email":"ada@example.com"},"projects":[{"slug":"solo","name":"Solo"}]})");
    });
    EXPECT_TRUE(refresh());
    EXPECT_EQ(logLines().last(), "me: ada@example.com, projects [\"solo(-)\"]");
    EXPECT_EQ(menu.model().s().sub, "Solo");
}

TEST_F(AccountFlow, AnAnswerForAnAccountThatIsGoneIsDropped)
{
    // Signed out before the answer lands.
    signIn();
    settings->setProjects({});
    bool ran = false;
    c->refreshAccount([&ran] { ran = true; });
    c->signOut();
    worker.finishAll();
    EXPECT_FALSE(ran);
    EXPECT_EQ(settings->accountEmail(), std::nullopt);
    EXPECT_TRUE(settings->projects().empty());

    // Signed in as someone else before the first account's answer lands.
    signIn();
    c->refreshAccount({});
    ++c->accountGeneration; // what a device sign-in does before it applies a new account
    ASSERT_TRUE(accounts->signIn("zv_other", "bo@example.com", "Bo"));
    settings->setProjects({});
    worker.finishAll();
    EXPECT_EQ(settings->accountEmail(), "bo@example.com");
    EXPECT_TRUE(settings->projects().empty());
}

TEST_F(AccountFlow, SignOutCancelsSignsOutTellsTheBoardThenReloads)
{
    signIn();
    loadTodos();
    c->reviews.push_back({"rec:1", API(fake.base(), "zv_test_account_key")});
    c->tipWS = settings->projects()[0];

    // A second sign-in waiting in the browser while the user signs out.
    c->signIn->begin(*accounts);
    struct Seen {
        bool signedIn, polling;
        int rebuilds;
    };
    std::optional<Seen> seen;
    board.onSignedOut = [&] { seen = Seen{accounts->signedIn(), c->signIn->busy(), menu.rebuilds}; };
    const int before = menu.rebuilds;
    c->signOut();

    ASSERT_TRUE(seen);
    EXPECT_FALSE(seen->signedIn);
    EXPECT_FALSE(seen->polling);
    EXPECT_EQ(seen->rebuilds, before);
    EXPECT_GT(menu.rebuilds, before);
    EXPECT_EQ(board.calls.last(), "signedOut");
    EXPECT_TRUE(c->reviews.empty());
    EXPECT_FALSE(c->tipWS);
    EXPECT_TRUE(c->todos->items().empty());
    EXPECT_EQ(menu.model().s().name, "Not signed in");
    EXPECT_TRUE(logLines().contains("signed out (ada@example.com)"));
}

TEST_F(AccountFlow, ADeviceSignInAppliesTheAccountThenSendsWhatWaited)
{
    finishedRecordings(3);
    c->launch();
    worker.finishAll();
    c->startSignIn();
    EXPECT_EQ(windows->shown, QStringList{"settings Zelvan Settings"});
    ASSERT_TRUE(waitFor([&] { return board.calls.contains("signedIn"); }));
    worker.finishAll(); // the account answer

    EXPECT_EQ(settings->accountEmail(), "ada@example.com");
    EXPECT_EQ(settings->projects().size(), 2u);
    const QStringList lines = logLines();
    const qsizetype me = lines.indexOf("me: ada@example.com, projects [\"bramel(owner)\", \"tovarind(member)\"]");
    const qsizetype waiting = lines.indexOf("sign-in: 3 recording(s) waiting on this computer -> upload");
    ASSERT_GE(me, 0);
    EXPECT_GT(waiting, me);
    // The to-dos of the new account's projects are asked for.
    ASSERT_TRUE(waitFor([&] { return c->todos->loaded().has_value(); }));
}

TEST_F(AccountFlow, WithNothingToSendToTheWaitingRecordingsStay)
{
    finishedRecordings(2);
    c->signInFinished();
    EXPECT_FALSE(logLines().join('\n').contains("sign-in:"));
}

TEST_F(AccountFlow, SignedOutOnlyTheHomeLegacyServerIsAskedForTheName)
{
    // No server at all: the closure runs at once, nothing is asked or logged.
    EXPECT_TRUE(refresh());
    EXPECT_TRUE(worker.jobs.empty());
    EXPECT_TRUE(logLines().isEmpty());

    FakePlatform legacy;
    WorkspaceServer server(legacy);
    server.setName("Bo Lind");
    legacy.start();
    Workspace home("Acme", legacy.base());
    settings->setWorkspaces({home});
    EXPECT_TRUE(refresh());
    EXPECT_EQ(accounts->myName(home), "Bo Lind");
    EXPECT_EQ(logLines().last(), "me @ Acme: Bo Lind");
    EXPECT_EQ(menu.model().s().name, "Bo Lind");

    legacy.fail("GET", "/api/me", {.status = 503, .body = R"({"error":"down"})"});
    EXPECT_TRUE(refresh());
    EXPECT_EQ(logLines().last(), "me @ Acme failed: down (HTTP 503)");
    EXPECT_EQ(accounts->myName(home), "Bo Lind");
}
