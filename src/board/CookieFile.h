#pragma once

#include <QList>
#include <QNetworkCookie>
#include <QString>

// The board profile's cookie file as the web engine left it on disk. Qt
// WebEngine reports only cookies that change while it runs, never the ones it
// loads from disk, so the board reads them here before it makes its profile,
// and a sign-out before the board was ever opened deletes them here.
namespace CookieFile {

// Every cookie in the file; nothing when it is missing or unreadable. A value
// kept encrypted reads as empty.
QList<QNetworkCookie> read(const QString& path);

// Deletes the cookies (by domain, name and path) from the file; false when the
// file could not be changed. Only while no profile has the file open.
bool remove(const QString& path, const QList<QNetworkCookie>& cookies);

} // namespace CookieFile
