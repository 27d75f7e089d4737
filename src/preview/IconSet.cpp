#include "preview/IconSet.h"

#include "core/Log.h"
#include "ui/StatusIcon.h"

#include <QDir>
#include <QSaveFile>

namespace IconSet {

QString fileName(const Size& size)
{
    return QStringLiteral("icon_") + QLatin1String(size.name) + QStringLiteral(".png");
}

QStringList make(const QString& folder)
{
    QDir().mkpath(folder);
    QStringList failed;
    for (const Size& size : sizes) {
        const QString name = fileName(size);
        const QByteArray png = StatusIcon::appIcon(size.pixels);
        QSaveFile file(QDir(folder).filePath(name));
        if (png.isEmpty() || !file.open(QIODevice::WriteOnly) || file.write(png) != png.size() || !file.commit()) {
            slog(QStringLiteral("iconset: %1 not written: %2")
                     .arg(name, png.isEmpty() ? QStringLiteral("the icon could not be drawn") : file.errorString()));
            failed << name;
        }
    }
    return failed;
}

} // namespace IconSet
