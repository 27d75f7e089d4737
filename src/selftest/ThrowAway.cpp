#include "selftest/ThrowAway.h"

#include "core/Keychain.h"
#include "core/Settings.h"
#include "platform/AppId.h"

namespace {

const QString ledgerKey = QStringLiteral("keyringItems");

// The list of noted keyring items lives in a suite of its own, which the
// defaults checks never empty.
QString ledgerName()
{
    return ThrowAway::suiteName() + QStringLiteral(".keyring");
}

} // namespace

namespace ThrowAway {

QString suiteName()
{
    return QString::fromLatin1(appId) + QStringLiteral(".selftest");
}

std::unique_ptr<QSettings> openSuite()
{
    return Settings::suite(suiteName());
}

void removeSuite()
{
    Settings::removeSuite(suiteName());
}

void noteKeyringItem(const QString& account)
{
    auto store = Settings::suite(ledgerName());
    if (!store)
        return;
    QStringList items = store->value(ledgerKey).toStringList();
    if (!items.contains(account)) {
        items << account;
        store->setValue(ledgerKey, items);
        store->sync();
    }
}

void sweep()
{
    if (auto store = Settings::suite(ledgerName())) {
        const QStringList items = store->value(ledgerKey).toStringList();
        if (!items.isEmpty()) {
            KeyringService service;
            for (const QString& account : items)
                Keychain::remove(account);
        }
    }
    Settings::removeSuite(ledgerName());
    removeSuite();
}

KeyringService::KeyringService()
    : previous_(Keychain::service())
{
    Keychain::setService(suiteName());
}

KeyringService::~KeyringService()
{
    Keychain::setService(previous_);
}

} // namespace ThrowAway
