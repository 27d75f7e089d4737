#include "preview/IconSet.h"

#include "core/Log.h"
#include "ui/StatusIcon.h"

#include <QDir>
#include <QGuiApplication>
#include <QSaveFile>
#include <cstdio>

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

int run(int argc, char** argv, const QString& folder)
{
    qputenv("QT_QPA_PLATFORM", "offscreen"); // drawn in memory
    QGuiApplication app(argc, argv);
    const QStringList failed = make(folder);
    slogFlush();
    if (failed.isEmpty())
        return 0;
    std::fprintf(stderr, "zelvan: these icons could not be written in %s: %s\n", QFile::encodeName(folder).constData(),
                 failed.join(QStringLiteral(", ")).toUtf8().constData());
    return 1;
}

} // namespace IconSet
