#include "board/CookieFile.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <sqlite3.h>

namespace CookieFile {

namespace {

// Expiry times count microseconds from 1601-01-01 UTC.
constexpr qint64 epochShift = 11'644'473'600'000'000LL;

struct Db {
    sqlite3* handle = nullptr;
    ~Db() { sqlite3_close(handle); }
};

bool open(Db& db, const QString& path, int flags)
{
    if (!QFileInfo(path).isFile())
        return false;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db.handle, flags, nullptr) != SQLITE_OK)
        return false;
    sqlite3_busy_timeout(db.handle, 2000);
    return true;
}

QByteArray column(sqlite3_stmt* st, int i)
{
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(st, i));
    return text ? QByteArray(text, sqlite3_column_bytes(st, i)) : QByteArray();
}

} // namespace

QList<QNetworkCookie> read(const QString& path)
{
    QList<QNetworkCookie> out;
    Db db;
    if (!open(db, path, SQLITE_OPEN_READONLY))
        return out;
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db.handle,
                           "SELECT host_key, name, value, path, expires_utc, has_expires, is_secure, is_httponly "
                           "FROM cookies",
                           -1, &st, nullptr)
        != SQLITE_OK)
        return out;
    while (sqlite3_step(st) == SQLITE_ROW) {
        QNetworkCookie c(column(st, 1), column(st, 2));
        c.setDomain(QString::fromUtf8(column(st, 0)));
        c.setPath(QString::fromUtf8(column(st, 3)));
        if (sqlite3_column_int(st, 5) != 0) {
            const qint64 micros = sqlite3_column_int64(st, 4) - epochShift;
            c.setExpirationDate(QDateTime::fromMSecsSinceEpoch(micros / 1000, Qt::UTC));
        }
        c.setSecure(sqlite3_column_int(st, 6) != 0);
        c.setHttpOnly(sqlite3_column_int(st, 7) != 0);
        out << c;
    }
    sqlite3_finalize(st);
    return out;
}

bool remove(const QString& path, const QList<QNetworkCookie>& cookies)
{
    if (cookies.isEmpty())
        return true;
    Db db;
    if (!open(db, path, SQLITE_OPEN_READWRITE))
        return false;
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db.handle, "DELETE FROM cookies WHERE host_key = ?1 AND name = ?2 AND path = ?3", -1, &st,
                           nullptr)
        != SQLITE_OK)
        return false;
    bool ok = sqlite3_exec(db.handle, "BEGIN", nullptr, nullptr, nullptr) == SQLITE_OK;
    for (const QNetworkCookie& c : cookies) {
        const QByteArray domain = c.domain().toUtf8();
        const QByteArray name = c.name();
        const QByteArray cookiePath = c.path().toUtf8();
        sqlite3_bind_text(st, 1, domain.constData(), int(domain.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(st, 2, name.constData(), int(name.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(st, 3, cookiePath.constData(), int(cookiePath.size()), SQLITE_TRANSIENT);
        ok = ok && sqlite3_step(st) == SQLITE_DONE;
        sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    ok = ok && sqlite3_exec(db.handle, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
    return ok;
}

} // namespace CookieFile
