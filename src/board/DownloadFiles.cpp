#include "board/DownloadFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace DownloadFiles {

namespace {

constexpr qsizetype maxBytes = 255;
// Room for " 9999" when the name must be made unique.
constexpr qsizetype suffixRoom = 5;

// Cuts the stem, never the extension, until the name fits.
QString fit(const QString& stem, const QString& ext, qsizetype bytes)
{
    QString s = stem;
    const QString tail = ext.isEmpty() ? QString() : u'.' + ext;
    while (!s.isEmpty() && (s + tail).toUtf8().size() > bytes)
        s.chop(s.size() >= 2 && s.back().isLowSurrogate() ? 2 : 1);
    return s + tail;
}

void split(const QString& name, QString& stem, QString& ext)
{
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot <= 0) {
        stem = name;
        ext.clear();
    } else {
        stem = name.left(dot);
        ext = name.mid(dot + 1);
    }
}

} // namespace

QString sanitise(const QString& suggested)
{
    QString name;
    for (const QChar c : suggested) {
        if (c == u'/')
            name += u'-';
        else if (c.category() != QChar::Other_Control)
            name += c;
    }
    name = name.trimmed();
    while (name.startsWith(u'.'))
        name.remove(0, 1);
    name = name.trimmed();
    if (name.isEmpty())
        return QStringLiteral("download");
    QString stem, ext;
    split(name, stem, ext);
    if (ext.toUtf8().size() > maxBytes / 2) {
        stem = name;
        ext.clear();
    }
    const QString fitted = fit(stem, ext, maxBytes - suffixRoom);
    return fitted.isEmpty() || fitted.startsWith(u'.') ? QStringLiteral("download") : fitted;
}

QString uniqueFile(const QString& folder, const QString& name)
{
    QString stem, ext;
    split(name, stem, ext);
    const QDir dir(folder);
    for (int n = 1; n < 10000; ++n) {
        const QString candidate = n == 1
            ? name
            : (ext.isEmpty() ? stem + u' ' + QString::number(n) : stem + u' ' + QString::number(n) + u'.' + ext);
        QFile file(dir.filePath(candidate));
        // Creating it is the reservation: it fails when the name is taken.
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            return file.fileName();
        if (!QFileInfo::exists(file.fileName()) && !QFileInfo(folder).isDir())
            return {};
    }
    return {};
}

} // namespace DownloadFiles
