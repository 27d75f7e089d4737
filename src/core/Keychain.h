#pragma once

#include <QString>
#include <optional>

// The app's secrets in the desktop keyring: the platform account key and one
// access key per self-hosted workspace. Every item carries the same service name;
// the account tells them apart. No plain-text fallback: without a keyring every
// call fails (nothing / false).
namespace Keychain {

inline constexpr char accountItem[] = "account";

// ZELVAN_KEYCHAIN_SERVICE when set and not empty, else the application id.
QString service();
// Takes effect for every later call (the preview renderer points it elsewhere).
void setService(const QString& name);

std::optional<QString> get(const QString& account);

// The same read, telling "no such item" apart from "the keyring could not be
// asked" (no service, locked, an error), which a caller must not remember.
struct Read {
    bool answered = false;
    std::optional<QString> value;
};
Read read(const QString& account);
// Stores or replaces the value (an existing item keeps its label); an empty value
// deletes the item. False on failure, with a log line.
bool set(const QString& account, const QString& value, const QString& label = QStringLiteral("Zelvan workspace key"));
// True when the item is gone afterwards.
bool remove(const QString& account);

} // namespace Keychain
