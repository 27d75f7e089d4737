#include "selftest/OutFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace OutFolder {

Prepared prepare(const std::optional<QString>& requested)
{
    const QString given = requested
        ? *requested
        : QDir::tempPath() + QStringLiteral("/zelvan-selftest-") + QString::number(QCoreApplication::applicationPid());
    Prepared out;
    out.path = QDir::cleanPath(QFileInfo(given).absoluteFilePath());
    const auto refuse = [&](const QString& why) {
        out.error = out.path + QStringLiteral(": ") + why;
        return out;
    };

    if (given.trimmed().isEmpty())
        return refuse(QStringLiteral("no folder given"));
    const QFileInfo info(out.path);
    if (info.isSymLink())
        return refuse(QStringLiteral("is a symbolic link; give a new or empty folder"));
    if (info.exists() && !info.isDir())
        return refuse(QStringLiteral("is a file, not a folder"));
    if (info.isDir()) {
        QDir dir(out.path);
        const bool empty = dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot).isEmpty();
        // The root and the home folder are never the self-test's, marker or not.
        if (dir.isRoot() || out.path == QDir::cleanPath(QDir::homePath()))
            return refuse(QStringLiteral("is not a folder the self-test may empty"));
        if (!empty) {
            if (!QFileInfo(dir.filePath(marker)).isFile())
                return refuse(QStringLiteral("is not empty and was not made by the self-test; give a new or empty "
                                             "folder"));
            if (!dir.removeRecursively())
                return refuse(QStringLiteral("could not be emptied"));
        }
    }
    if (!QDir().mkpath(out.path))
        return refuse(QStringLiteral("could not be created"));
    QFile mark(QDir(out.path).filePath(marker));
    if (!mark.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return refuse(QStringLiteral("cannot be written to"));
    mark.write("Made by zelvan --selftest; the next run empties this folder.\n");
    return out;
}

} // namespace OutFolder
