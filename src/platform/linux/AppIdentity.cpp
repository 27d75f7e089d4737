#include "platform/linux/AppIdentity.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

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

// systemd escapes unit names: "\x2d" stands for "-".
QString unescapeUnit(const QString& text)
{
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        bool ok = false;
        if (text[i] == u'\\' && i + 3 < text.size() && text[i + 1] == u'x') {
            const int code = text.mid(i + 2, 2).toInt(&ok, 16);
            if (ok) {
                out += QChar(code);
                i += 3;
                continue;
            }
        }
        out += text[i];
    }
    return out;
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
    // Flatpak runs every app in a scope "app-flatpak-<id>-<number>.scope".
    static const QLatin1String marker("app-flatpak-");
    for (const QByteArray& raw : readProc(pid, "cgroup").split('\n')) {
        const QString line = QString::fromUtf8(raw);
        const qsizetype at = line.lastIndexOf(marker);
        if (at < 0 || !line.endsWith(QLatin1String(".scope")))
            continue;
        QString unit = line.mid(at + marker.size());
        unit.chop(6);
        const qsizetype dash = unit.lastIndexOf(u'-');
        if (dash > 0)
            return unescapeUnit(unit.left(dash));
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
