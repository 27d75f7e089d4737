// The account and upload-target rules, with keys in the private desktop's real
// keyring (a service of its own per test).
#include "core/Accounts.h"
#include "core/Keychain.h"
#include "core/Log.h"
#include "core/Paths.h"
#include "core/Settings.h"
#include "core/WebPlatform.h"
#include "platform/SecretStore.h"
#include "support/TestSupport.h"

#include <QUuid>
#include <gtest/gtest.h>

namespace {

QString idText(const QUuid& id)
{
    return id.toString(QUuid::WithoutBraces).toUpper();
}

class Account : public testing::Test {
protected:
    void SetUp() override
    {
        previous_ = Keychain::service();
        Keychain::setService("zelvan-test-" + QUuid::createUuid().toString(QUuid::WithoutBraces));
        settings_ = open();
        accounts_ = std::make_unique<Accounts>(*settings_);
        settings_->setPlatformBase(base_);
    }
    void TearDown() override
    {
        Keychain::remove(Keychain::accountItem);
        for (const Workspace& ws : settings_->workspaces())
            Keychain::remove(idText(ws.id));
        Keychain::setService(previous_);
    }

    std::unique_ptr<Settings> open() const { return std::make_unique<Settings>(Settings::suite(suite_)); }

    std::vector<Workspace> projects() const
    {
        return {WebPlatform::project(base_, "bramel", "Bramel", "owner"),
                WebPlatform::project(base_, "tovarind", "Tovarind", "member")};
    }

    const QString base_ = "http://127.0.0.1:7440";
    const QString suite_ = "test-" + QUuid::createUuid().toString(QUuid::WithoutBraces);
    TempSupport support_;
    std::unique_ptr<Settings> settings_;
    std::unique_ptr<Accounts> accounts_;

private:
    QString previous_;
};

} // namespace

TEST_F(Account, SignInKeepsTheKeyInTheKeyringAndSignOutForgetsIt)
{
    Settings& s = *settings_;
    Accounts& acc = *accounts_;
    EXPECT_FALSE(acc.signedIn());
    s.setAccountError("old failure");
    ASSERT_TRUE(acc.signIn("zv_key", "ada@example.com", std::nullopt));
    EXPECT_TRUE(acc.signedIn()) << "signed in before any project arrives";
    EXPECT_FALSE(acc.projectMode());
    EXPECT_FALSE(s.accountError());
    EXPECT_EQ(Keychain::get("account"), "zv_key");
    EXPECT_EQ(SecretStore::label(Keychain::service(), "account"), "Zelvan account key");
    EXPECT_EQ(Accounts(*open()).accountKey(), "zv_key") << "a new start reads the keyring";
    EXPECT_EQ(open()->accountEmail(), "ada@example.com");

    Workspace legacy("Home", "http://localhost:8000");
    s.setWorkspaces({legacy});
    acc.setKey("legacy-key", legacy);
    acc.apply({"ada@example.com", "Ada", base_ + "/api/v1/personal"}, projects());
    s.setWorkdaySlug("bramel");
    s.setLastFiled(FiledRef{"rec:1", "t", "bramel", QDateTime::currentDateTimeUtc()});

    acc.signOut();
    EXPECT_FALSE(acc.signedIn());
    EXPECT_FALSE(Keychain::get("account"));
    EXPECT_FALSE(s.accountEmail() || s.accountName() || s.workdaySlug() || s.personalRoot() || s.lastFiled());
    EXPECT_TRUE(s.projects().empty());
    EXPECT_EQ(s.workspaces(), std::vector<Workspace>{legacy});
    EXPECT_EQ(acc.keyFor(legacy), "legacy-key");

    // After sign-out the keyring is not asked again.
    Keychain::set("account", "zv_elsewhere");
    EXPECT_EQ(acc.accountKey(), "");
}

TEST_F(Account, ApplyWritesOnlyWhatChanged)
{
    Settings& s = *settings_;
    Accounts& acc = *accounts_;
    ASSERT_TRUE(acc.signIn("zv_key", "ada@example.com", "Ada"));
    const AccountInfo info{"ada@example.com", "Ada L.", base_ + "/api/v1/personal"};
    acc.apply(info, projects());
    EXPECT_EQ(s.accountName(), "Ada L.");
    EXPECT_EQ(s.projects(), projects());
    EXPECT_EQ(s.personalRoot(), info.personalRoot);
    EXPECT_TRUE(acc.projectMode());

    int changes = 0;
    QObject::connect(&s, &Settings::changed, [&] { ++changes; });
    s.setAccountError("stale");
    changes = 0;
    acc.apply(info, projects());
    EXPECT_EQ(changes, 1) << "only the account error is cleared";
    EXPECT_FALSE(s.accountError());

    // Absent name and root keep the stored ones.
    acc.apply({"ada@example.com", std::nullopt, std::nullopt}, {});
    EXPECT_EQ(s.accountName(), "Ada L.");
    EXPECT_EQ(s.personalRoot(), info.personalRoot);
    EXPECT_TRUE(s.projects().empty());
}

TEST_F(Account, TargetsAndHomeFollowTheAccountState)
{
    Settings& s = *settings_;
    Accounts& acc = *accounts_;
    Workspace local("Local", "http://localhost:8000/");
    Workspace remote("Remote", "https://remote.example");
    s.setWorkspaces({remote, local});
    s.setActiveID(remote.id);

    // Signed out: the legacy servers; the selected one has no key and is not on
    // this machine, so home is the first connected one.
    EXPECT_EQ(acc.targets(), (std::vector<Workspace>{remote, local}));
    const auto connected = acc.connected();
    ASSERT_EQ(connected.size(), 1u);
    EXPECT_EQ(connected[0].first, local);
    EXPECT_EQ(connected[0].second.key(), "");
    EXPECT_EQ(acc.home(), local);
    EXPECT_EQ(acc.boardURL()->text(), "http://localhost:8000/#/board");

    acc.setKey("  remote-key \n", remote);
    EXPECT_EQ(Keychain::get(idText(remote.id)), "remote-key");
    EXPECT_EQ(SecretStore::label(Keychain::service(), idText(remote.id)), "Zelvan workspace key");
    EXPECT_EQ(acc.home(), remote);
    EXPECT_EQ(acc.homeAPI()->key(), "remote-key");

    // Nothing connected: home falls back to the selection itself.
    acc.setKey("", remote);
    s.setWorkspaces({remote});
    EXPECT_TRUE(acc.connected().empty());
    EXPECT_EQ(acc.home(), remote);

    // Signed in with projects: exactly the projects; home follows the work-day slug.
    ASSERT_TRUE(acc.signIn("zv_key", "ada@example.com", "Ada"));
    acc.apply({"ada@example.com", "Ada", std::nullopt}, projects());
    EXPECT_EQ(acc.targets(), projects());
    EXPECT_FALSE(acc.showLegacy());
    EXPECT_EQ(acc.home(), projects()[0]) << "no work-day slug: the first project";
    s.setWorkdaySlug("tovarind");
    EXPECT_EQ(acc.home(), projects()[1]);
    s.setWorkdaySlug("nowhere");
    EXPECT_EQ(acc.home(), projects()[0]);
    EXPECT_EQ(acc.workspace(projects()[1].id), projects()[1]);
    EXPECT_FALSE(acc.workspace(remote.id)) << "legacy servers are hidden";
    const auto api = acc.apiForDest("tovarind");
    ASSERT_TRUE(api);
    EXPECT_EQ(api->key(), "zv_key");
    EXPECT_EQ(api->apiRoot(), base_ + "/api/v1/p/tovarind");
    EXPECT_FALSE(acc.apiForDest("nowhere"));
    EXPECT_EQ(acc.destName("tovarind"), "Tovarind");
    EXPECT_EQ(acc.destName("personal"), "Personal");
    EXPECT_EQ(acc.destName("nowhere"), "nowhere");
    EXPECT_EQ(acc.myName(projects()[0]), "Ada");

    // A project never gets a client without a key.
    acc.signOut();
    EXPECT_FALSE(acc.apiFor(projects()[0]));
}

TEST_F(Account, LegacyServersCanBeSwitchedOff)
{
    auto store = Settings::suite(suite_);
    store->setValue("legacyServers", "false");
    store->sync();
    auto s = open();
    Accounts acc(*s);
    EXPECT_FALSE(acc.showLegacy());
    EXPECT_TRUE(acc.targets().empty());
    EXPECT_TRUE(acc.connected().empty());
    EXPECT_FALSE(acc.home());
    EXPECT_FALSE(acc.boardURL());
}

TEST_F(Account, PagesAndThePersonalLibraryStayOnThePlatform)
{
    Settings& s = *settings_;
    Accounts& acc = *accounts_;
    s.setPlatformBase(base_ + "//"); // assigned at run time: used cleaned
    acc.apply({"ada@example.com", std::nullopt, std::nullopt}, projects());
    EXPECT_FALSE(acc.personalAPI()) << "not signed in";
    ASSERT_TRUE(acc.signIn("zv_key", "ada@example.com", std::nullopt));

    EXPECT_EQ(acc.boardURL()->text(), base_ + "/app");
    EXPECT_EQ(acc.link("personal", "rec:1/a b")->text(), base_ + "/app/r/rec%3A1%2Fa%20b");
    EXPECT_EQ(acc.link("bramel", "rec:1")->text(), base_ + "/app/p/bramel/#/library/call/rec%3A1");
    EXPECT_FALSE(acc.link("nowhere", "rec:1"));

    auto personal = acc.personalAPI();
    ASSERT_TRUE(personal);
    EXPECT_EQ(personal->server(), base_ + "/app");
    EXPECT_EQ(personal->apiRoot(), base_ + "/api/v1/personal");
    EXPECT_EQ(personal->key(), "zv_key");

    s.setPersonalRoot(base_ + "/app/api/platform/personal");
    EXPECT_EQ(acc.apiForDest("personal")->apiRoot(), base_ + "/app/api/platform/personal");
    // A stored root elsewhere would receive the account key: the default is used.
    s.setPersonalRoot("https://collector.example/api");
    EXPECT_EQ(acc.personalAPI()->apiRoot(), base_ + "/api/v1/personal");
}

TEST_F(Account, RemovingAWorkspaceDeletesItsKeyAndMovesTheSelection)
{
    Settings& s = *settings_;
    Accounts& acc = *accounts_;
    Workspace a("A", "http://a.test"), b("B", "http://b.test"), c("C", "http://c.test");
    s.setWorkspaces({a, b, c});
    s.setActiveID(b.id);
    acc.setKey("key-b", b);
    s.setNames({{idText(b.id), "Bea"}});
    EXPECT_EQ(acc.myName(b), "Bea");
    EXPECT_FALSE(acc.myName(a));
    EXPECT_FALSE(acc.myName(std::nullopt));

    acc.remove(a);
    EXPECT_EQ(s.activeID(), b.id) << "another workspace's removal leaves the selection";
    acc.remove(b);
    EXPECT_FALSE(Keychain::get(idText(b.id)));
    EXPECT_EQ(acc.keyFor(b), "");
    EXPECT_EQ(s.workspaces(), std::vector<Workspace>{c});
    EXPECT_EQ(s.activeID(), c.id);
    acc.remove(c);
    EXPECT_FALSE(s.activeID());
    EXPECT_EQ(open()->workspaces(), std::vector<Workspace>{});

    // Projects have no keys of their own.
    acc.setKey("ignored", projects()[0]);
    EXPECT_FALSE(Keychain::get(idText(projects()[0].id)));
}

// The keyring is reached once per process, so this runs in a fresh copy of the
// test program whose session bus leads nowhere.
TEST(AccountWithoutKeyring, SignInFailsAndStaysSignedOut)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            TempSupport support;
            qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/zelvan-bus");
            Settings s(Settings::suite("test-no-keyring"));
            Accounts acc(s);
            const bool refused = !acc.signIn("zv_key", "ada@example.com", "Ada");
            const bool out = !acc.signedIn() && !s.accountEmail() && acc.accountKey().isEmpty();
            std::exit(refused && out ? 0 : 1);
        },
        testing::ExitedWithCode(0), "keychain set failed");
}

// A keyring that could not be asked is asked again later, not remembered as "no key".
TEST(AccountWithoutKeyring, AnUnreachableKeyringIsAskedAgain)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            TempSupport support;
            const QByteArray bus = qgetenv("DBUS_SESSION_BUS_ADDRESS");
            Keychain::setService("zelvan-test-" + QUuid::createUuid().toString(QUuid::WithoutBraces));
            Settings s(Settings::suite("test-late-keyring"));
            Accounts acc(s);
            const Workspace legacy("Home", "https://home.example");
            qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/zelvan-bus");
            const bool emptyWhileAway = acc.accountKey().isEmpty() && acc.keyFor(legacy).isEmpty();
            qputenv("DBUS_SESSION_BUS_ADDRESS", bus);
            const bool stored = Keychain::set(Keychain::accountItem, "zv_late")
                && Keychain::set(idText(legacy.id), "wk");
            const bool seen = acc.accountKey() == "zv_late" && acc.keyFor(legacy) == "wk";
            Keychain::remove(Keychain::accountItem);
            Keychain::remove(idText(legacy.id));
            std::exit(emptyWhileAway && stored && seen ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
}
