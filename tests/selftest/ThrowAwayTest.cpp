// What a crashed self-test leaves in its throw-away stores is gone after the
// next sweep, and the user's own keyring items are never touched.
#include "core/Keychain.h"
#include "selftest/ThrowAway.h"

#include <QFile>
#include <gtest/gtest.h>

TEST(ThrowAway, LeftoversOfACrashedRunAreSweptAndTheUsersItemsKept)
{
    const QString account = QStringLiteral("selftest-leftover");
    const QString userService = Keychain::service();
    ASSERT_TRUE(Keychain::set(account, QStringLiteral("users-own"))) << "the private desktop's keyring";

    // A run that died between writing its items and removing them.
    ThrowAway::noteKeyringItem(account);
    {
        ThrowAway::KeyringService service;
        ASSERT_TRUE(Keychain::set(account, QStringLiteral("ow_leftover1")));
    }
    auto suite = ThrowAway::openSuite();
    ASSERT_TRUE(suite);
    suite->setValue(QStringLiteral("trackWorkday"), true);
    suite->sync();
    const QString file = suite->fileName();
    suite.reset();

    ThrowAway::sweep();

    EXPECT_EQ(Keychain::service(), userService);
    EXPECT_FALSE(QFile::exists(file));
    {
        ThrowAway::KeyringService service;
        EXPECT_FALSE(Keychain::get(account));
    }
    EXPECT_EQ(Keychain::get(account), QStringLiteral("users-own"));
    Keychain::remove(account);
}
