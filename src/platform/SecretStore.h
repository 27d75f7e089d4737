#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// Password items in the desktop keyring, told apart by a service and an account.
namespace SecretStore {

enum class Status {
    ok,
    notFound,    // no item matched
    unavailable, // no keyring service on the session bus, or it refused
    failed,      // the keyring answered with an error
};

struct Lookup {
    Status status = Status::failed;
    QByteArray value; // the item's bytes when status is ok
};

Lookup find(const QString& service, const QString& account);
// Replaces the secret of the existing item; its label stays. notFound when there is none.
Status update(const QString& service, const QString& account, const QByteArray& value);
Status add(const QString& service, const QString& account, const QByteArray& value, const QString& label);
// ok when an item was removed, notFound when there was none.
Status remove(const QString& service, const QString& account);

// The keyring's label of the item, for tests and diagnostics.
std::optional<QString> label(const QString& service, const QString& account);

} // namespace SecretStore
