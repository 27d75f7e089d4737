// GLib headers come before Qt's, whose "signals" macro would break them.
#include <libsecret/secret.h>

#include "platform/SecretStore.h"

#include "platform/SystemLog.h"

#include <atomic>

namespace SecretStore {

namespace {

const SecretSchema* schema()
{
    static const SecretSchema s = {
        "app.zelvan.Password",
        SECRET_SCHEMA_NONE,
        {
            {"service", SECRET_SCHEMA_ATTRIBUTE_STRING},
            {"account", SECRET_SCHEMA_ATTRIBUTE_STRING},
            {nullptr, SecretSchemaAttributeType(0)},
        },
        0,
        nullptr,
        nullptr,
        nullptr,
        nullptr,
        nullptr,
        nullptr,
        nullptr,
    };
    return &s;
}

// Errors that mean "no keyring to talk to" rather than "the keyring said no".
Status statusOf(GError* error)
{
    if (error->domain == G_DBUS_ERROR || error->domain == G_IO_ERROR)
        return Status::unavailable;
    return Status::failed;
}

Status fail(GError* error)
{
    const Status status = statusOf(error);
    // Said once per process, so a desktop without a keyring does not flood the log.
    static std::atomic_bool told{false};
    if (status == Status::unavailable && !told.exchange(true))
        SystemLog::write(QStringLiteral("keychain: no keyring service: %1").arg(QString::fromUtf8(error->message)));
    g_error_free(error);
    return status;
}

GHashTable* attributes(const QByteArray& service, const QByteArray& account)
{
    GHashTable* attrs = g_hash_table_new(g_str_hash, g_str_equal);
    g_hash_table_insert(attrs, const_cast<char*>("service"), const_cast<char*>(service.constData()));
    g_hash_table_insert(attrs, const_cast<char*>("account"), const_cast<char*>(account.constData()));
    return attrs;
}

// The first unlocked item of this service and account, or nothing.
Status findItem(const QString& service, const QString& account, SecretItem** item)
{
    *item = nullptr;
    GError* error = nullptr;
    SecretService* svc = secret_service_get_sync(SECRET_SERVICE_NONE, nullptr, &error);
    if (!svc)
        return fail(error);
    const QByteArray s = service.toUtf8(), a = account.toUtf8();
    GHashTable* attrs = attributes(s, a);
    GList* items = secret_service_search_sync(svc, schema(), attrs,
                                              SecretSearchFlags(SECRET_SEARCH_UNLOCK | SECRET_SEARCH_LOAD_SECRETS),
                                              nullptr, &error);
    g_hash_table_unref(attrs);
    g_object_unref(svc);
    if (error)
        return fail(error);
    if (!items)
        return Status::notFound;
    *item = SECRET_ITEM(g_object_ref(items->data));
    g_list_free_full(items, g_object_unref);
    return Status::ok;
}

} // namespace

Lookup find(const QString& service, const QString& account)
{
    SecretItem* item = nullptr;
    Lookup result;
    result.status = findItem(service, account, &item);
    if (result.status != Status::ok)
        return result;
    SecretValue* value = secret_item_get_secret(item);
    if (value) {
        gsize size = 0;
        const gchar* bytes = secret_value_get(value, &size);
        result.value = QByteArray(bytes, qsizetype(size));
        secret_value_unref(value);
    } else {
        result.status = Status::failed;
    }
    g_object_unref(item);
    return result;
}

Status update(const QString& service, const QString& account, const QByteArray& value)
{
    SecretItem* item = nullptr;
    const Status found = findItem(service, account, &item);
    if (found != Status::ok)
        return found;
    SecretValue* secret = secret_value_new(value.constData(), value.size(), "text/plain");
    GError* error = nullptr;
    const bool ok = secret_item_set_secret_sync(item, secret, nullptr, &error);
    secret_value_unref(secret);
    g_object_unref(item);
    return ok ? Status::ok : fail(error);
}

Status add(const QString& service, const QString& account, const QByteArray& value, const QString& label)
{
    const QByteArray s = service.toUtf8(), a = account.toUtf8(), l = label.toUtf8();
    GHashTable* attrs = attributes(s, a);
    SecretValue* secret = secret_value_new(value.constData(), value.size(), "text/plain");
    GError* error = nullptr;
    const bool ok = secret_password_storev_binary_sync(schema(), attrs, SECRET_COLLECTION_DEFAULT, l.constData(),
                                                       secret, nullptr, &error);
    secret_value_unref(secret);
    g_hash_table_unref(attrs);
    return ok ? Status::ok : fail(error);
}

Status remove(const QString& service, const QString& account)
{
    const QByteArray s = service.toUtf8(), a = account.toUtf8();
    GHashTable* attrs = attributes(s, a);
    GError* error = nullptr;
    const bool removed = secret_password_clearv_sync(schema(), attrs, nullptr, &error);
    g_hash_table_unref(attrs);
    if (error)
        return fail(error);
    return removed ? Status::ok : Status::notFound;
}

std::optional<QString> label(const QString& service, const QString& account)
{
    SecretItem* item = nullptr;
    if (findItem(service, account, &item) != Status::ok)
        return std::nullopt;
    gchar* text = secret_item_get_label(item);
    QString result = QString::fromUtf8(text);
    g_free(text);
    g_object_unref(item);
    return result;
}

} // namespace SecretStore
