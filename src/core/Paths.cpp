#include "core/Paths.h"

#include <QDir>
#include <QStandardPaths>
#include <mutex>
#include <sys/stat.h>

namespace Paths {

namespace {

std::mutex overrideLock;
QString overridden;

// Our own folders are owner-only even when an older version or the user made
// them with a wider mode.
QString ownerOnly(const QString& folder)
{
    ::chmod(QFile::encodeName(folder).constData(), 0700);
    return folder;
}

QString child(const char* name)
{
    return ownerOnly(ensure(support() + u'/' + QLatin1String(name)));
}

} // namespace

QString locateSupport()
{
    const QByteArray env = qgetenv("ZELVAN_SUPPORT_DIR");
    if (!env.isEmpty())
        return QDir::cleanPath(QDir::current().absoluteFilePath(QString::fromLocal8Bit(env)));
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/Zelvan");
}

QString ensure(const QString& folder)
{
    // mkdir one level at a time so that every folder made here is 0700; folders
    // that already exist keep their mode.
    const QByteArray path = QFile::encodeName(QDir::cleanPath(folder));
    for (qsizetype i = 1; i <= path.size(); ++i) {
        if (i == path.size() || path.at(i) == '/')
            ::mkdir(path.left(i).constData(), 0700);
    }
    return folder;
}

QString support()
{
    {
        std::lock_guard lock(overrideLock);
        if (!overridden.isEmpty())
            return overridden;
    }
    static const QString folder = ownerOnly(ensure(locateSupport()));
    return folder;
}

void setSupportForTesting(const QString& folder)
{
    if (!folder.isEmpty())
        ensure(folder);
    std::lock_guard lock(overrideLock);
    overridden = folder;
}

QString recordings()
{
    return child("recordings");
}
QString workday()
{
    return child("workday");
}
QString pins()
{
    return child("pins");
}
QString logFile()
{
    return support() + QStringLiteral("/zelvan.log");
}

} // namespace Paths
