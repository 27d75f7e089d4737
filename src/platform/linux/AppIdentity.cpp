#include "platform/linux/AppIdentity.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <sys/stat.h>

namespace {

QByteArray readProc(qint32 pid, const char* what)
{
    QFile f(QStringLiteral("/proc/%1/%2").arg(pid).arg(QLatin1String(what)));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QString executableName(qint32 pid)
{
    QString target = QFile::symLinkTarget(QStringLiteral("/proc/%1/exe").arg(pid));
    target.remove(QLatin1String(" (deleted)"));
    if (!target.isEmpty())
        return QFileInfo(target).fileName();
    return QString::fromUtf8(readProc(pid, "comm")).trimmed();
}

// The unlocalised Name and StartupWMClass of a desktop entry's main group.
std::pair<QString, QString> readEntry(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    QString name, wmClass;
    bool inMain = false;
    while (!f.atEnd()) {
        const QString line = QString::fromUtf8(f.readLine()).trimmed();
        if (line.startsWith(u'[')) {
            if (inMain)
                break;
            inMain = line == QLatin1String("[Desktop Entry]");
        } else if (inMain) {
            if (line.startsWith(QLatin1String("Name=")))
                name = line.mid(5).trimmed();
            else if (line.startsWith(QLatin1String("StartupWMClass=")))
                wmClass = line.mid(15).trimmed();
        }
    }
    return {name, wmClass};
}

} // namespace

QString AppIdentity::flatpakId(qint32 pid)
{
    // Every Flatpak sandbox has this file at its root; most processes have none,
    // so one failed stat is all they cost.
    const QByteArray info = "/proc/" + QByteArray::number(pid) + "/root/.flatpak-info";
    struct stat st;
    if (::stat(info.constData(), &st) != 0)
        return {};
    QFile f(QString::fromLocal8Bit(info));
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    bool inApplication = false;
    while (!f.atEnd()) {
        const QString line = QString::fromUtf8(f.readLine()).trimmed();
        if (line.startsWith(u'['))
            inApplication = line == QLatin1String("[Application]");
        else if (inApplication && line.startsWith(QLatin1String("name=")))
            return line.mid(5).trimmed();
    }
    return {};
}

void AppIdentity::refresh()
{
    std::vector<std::pair<QString, qint64>> stamps;
    const QStringList dirs = QStandardPaths::standardLocations(QStandardPaths::ApplicationsLocation);
    for (const QString& dir : dirs) {
        const QFileInfo info(dir);
        stamps.emplace_back(dir, info.exists() ? info.lastModified().toMSecsSinceEpoch() : -1);
    }
    if (stamps == stamps_)
        return;
    stamps_ = std::move(stamps);
    byId_.clear();
    byLowerId_.clear();
    byWmClass_.clear();
    // The first folder (the user's own) wins over the system's.
    for (const QString& dir : dirs) {
        const QFileInfoList files = QDir(dir).entryInfoList({QStringLiteral("*.desktop")}, QDir::Files);
        for (const QFileInfo& file : files) {
            const QString id = file.completeBaseName();
            if (byId_.contains(id))
                continue;
            const auto [name, wmClass] = readEntry(file.filePath());
            byId_.insert(id, {id, name});
            byLowerId_.insert(id.toLower(), id);
            if (!wmClass.isEmpty() && !byWmClass_.contains(wmClass))
                byWmClass_.insert(wmClass, id);
        }
    }
}

QString AppIdentity::idForClass(const QString& cls, const QString& instance) const
{
    if (!cls.isEmpty() && byWmClass_.contains(cls))
        return byWmClass_.value(cls);
    if (!instance.isEmpty() && byWmClass_.contains(instance))
        return byWmClass_.value(instance);
    for (const QString& key : {cls, instance})
        if (!key.isEmpty() && byLowerId_.contains(key.toLower()))
            return byLowerId_.value(key.toLower());
    return {};
}

Windows::App AppIdentity::resolve(const Hints& h)
{
    Windows::App app{.pid = h.pid};
    QString desktopId = h.gtkId;
    if (desktopId.isEmpty() && h.pid > 0)
        desktopId = flatpakId(h.pid);
    if (desktopId.isEmpty())
        desktopId = idForClass(h.cls, h.instance);

    if (!desktopId.isEmpty())
        app.id = desktopId;
    else if (!h.instance.isEmpty())
        app.id = h.instance;
    else if (h.pid > 0)
        app.id = executableName(h.pid);

    app.name = byId_.value(desktopId).name;
    if (app.name.isEmpty())
        app.name = !h.cls.isEmpty() ? h.cls : h.instance;
    if (app.name.isEmpty() && h.pid > 0)
        app.name = QString::fromUtf8(readProc(h.pid, "comm")).trimmed();
    return app;
}
