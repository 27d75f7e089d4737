// Against the private desktop's real gnome-keyring.
#include "core/Keychain.h"

#include "platform/AppId.h"
#include "core/Log.h"
#include "core/Paths.h"
#include "platform/SecretStore.h"
#include "support/TestSupport.h"

#include <QUuid>
#include <gtest/gtest.h>

namespace {

// Every test stores under a service of its own and removes what it stored.
class KeychainTest : public testing::Test {
protected:
    void SetUp() override
    {
        previous_ = Keychain::service();
        Keychain::setService("zelvan-test-" + QUuid::createUuid().toString(QUuid::WithoutBraces));
    }
    void TearDown() override
    {
        for (const char* account : {"account", "A", "B"})
            Keychain::remove(account);
        Keychain::setService(previous_);
    }

private:
    QString previous_;
};

} // namespace

TEST_F(KeychainTest, SetGetReplaceKeepsTheFirstLabel)
{
    EXPECT_EQ(Keychain::get("account"), std::nullopt);
    ASSERT_TRUE(Keychain::set("account", "zv_first", "Zelvan account key"));
    EXPECT_EQ(Keychain::get("account"), "zv_first");
    EXPECT_EQ(SecretStore::label(Keychain::service(), "account"), "Zelvan account key");

    ASSERT_TRUE(Keychain::set("account", "zv_second", "Another label"));
    EXPECT_EQ(Keychain::get("account"), "zv_second");
    EXPECT_EQ(SecretStore::label(Keychain::service(), "account"), "Zelvan account key");

    // The default label is the workspace key's.
    ASSERT_TRUE(Keychain::set("A", "k"));
    EXPECT_EQ(SecretStore::label(Keychain::service(), "A"), "Zelvan workspace key");
}

TEST_F(KeychainTest, ValuesAreKeptVerbatimAndAccountsApart)
{
    const QString odd = QString::fromUtf8("  ключ-é 🔑 \t");
    ASSERT_TRUE(Keychain::set("A", odd));
    ASSERT_TRUE(Keychain::set("B", "other"));
    EXPECT_EQ(Keychain::get("A"), odd);
    EXPECT_EQ(Keychain::get("B"), "other");

    // Another service does not see these items.
    const QString mine = Keychain::service();
    Keychain::setService(mine + "-elsewhere");
    EXPECT_EQ(Keychain::get("A"), std::nullopt);
    Keychain::setService(mine);
}

TEST_F(KeychainTest, EmptyValueAndRemoveDeleteAndMissingIsFine)
{
    ASSERT_TRUE(Keychain::set("A", "k"));
    EXPECT_TRUE(Keychain::set("A", ""));
    EXPECT_EQ(Keychain::get("A"), std::nullopt);
    EXPECT_TRUE(Keychain::set("A", "")) << "nothing to delete is not a failure";

    ASSERT_TRUE(Keychain::set("B", "k"));
    EXPECT_TRUE(Keychain::remove("B"));
    EXPECT_EQ(Keychain::get("B"), std::nullopt);
    EXPECT_TRUE(Keychain::remove("B"));
}

// These run in a freshly started copy of the test program, since the service
// name and the keyring connection are made once per process.
class KeychainService : public testing::Test {
protected:
    void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

TEST_F(KeychainService, ComesFromTheEnvironmentOnce)
{
    EXPECT_EXIT(
        {
            qputenv("ZELVAN_KEYCHAIN_SERVICE", "");
            std::exit(Keychain::service() == QLatin1String(appId) ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
    EXPECT_EXIT(
        {
            qputenv("ZELVAN_KEYCHAIN_SERVICE", "custom.service");
            std::exit(Keychain::service() == "custom.service" ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
}

TEST_F(KeychainService, WithoutAKeyringEveryCallFailsCleanly)
{
    // A session bus that does not exist: no keyring to reach, no fallback.
    EXPECT_EXIT(
        {
            TempSupport support;
            qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/zelvan-bus");
            const bool ok = !Keychain::set("A", "k") && !Keychain::get("A") && !Keychain::remove("A");
            slogFlush();
            const bool logged = readFile(Paths::logFile()).contains("keychain set failed: ");
            std::exit(ok && logged ? 0 : 1);
        },
        testing::ExitedWithCode(0), "keychain: no keyring service");
}
