#include "core/Keychain.h"

#include "platform/AppId.h"
#include "core/Log.h"
#include "platform/SecretStore.h"

#include <mutex>

namespace Keychain {

namespace {

std::mutex serviceLock;

QString& currentService()
{
    static QString name = [] {
        const QString env = qEnvironmentVariable("ZELVAN_KEYCHAIN_SERVICE");
        return env.isEmpty() ? QString::fromLatin1(appId) : env;
    }();
    return name;
}

// Numbers for the log line; "not found" is not a failure and never logged.
int code(SecretStore::Status status)
{
    switch (status) {
    case SecretStore::Status::ok:
        return 0;
    case SecretStore::Status::notFound:
        return -1;
    case SecretStore::Status::unavailable:
        return -2;
    case SecretStore::Status::failed:
        break;
    }
    return -3;
}

} // namespace

QString service()
{
    std::lock_guard lock(serviceLock);
    return currentService();
}

void setService(const QString& name)
{
    std::lock_guard lock(serviceLock);
    currentService() = name;
}

Read read(const QString& account)
{
    const auto found = SecretStore::find(service(), account);
    if (found.status == SecretStore::Status::notFound)
        return {true, std::nullopt};
    if (found.status != SecretStore::Status::ok)
        return {false, std::nullopt};
    QString text = QString::fromUtf8(found.value);
    // Bytes that are not UTF-8 are not a key we stored.
    if (text.toUtf8() != found.value)
        return {true, std::nullopt};
    return {true, std::move(text)};
}

std::optional<QString> get(const QString& account)
{
    return read(account).value;
}

bool set(const QString& account, const QString& value, const QString& label)
{
    if (value.isEmpty())
        return remove(account);
    const QString svc = service();
    const QByteArray data = value.toUtf8();
    auto status = SecretStore::update(svc, account, data);
    if (status == SecretStore::Status::notFound)
        status = SecretStore::add(svc, account, data, label);
    if (status == SecretStore::Status::ok)
        return true;
    slog(QStringLiteral("keychain set failed: %1").arg(code(status)));
    return false;
}

bool remove(const QString& account)
{
    const auto status = SecretStore::remove(service(), account);
    return status == SecretStore::Status::ok || status == SecretStore::Status::notFound;
}

} // namespace Keychain
