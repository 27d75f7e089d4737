#include "session/Session.h"

#include "core/Fmt.h"
#include "core/JSONFile.h"
#include "core/Log.h"
#include "core/Paths.h"
#include "core/Clock.h"
#include "session/SessionLock.h"
#include "platform/FileIO.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString numbered(const char* folder, size_t index)
{
    return QString::asprintf("%s/%03zu.jpg", folder, index);
}

} // namespace

Session::Session(QString dir, SessionMeta meta)
    : dir_(std::move(dir))
    , meta_(std::move(meta))
{
}

std::shared_ptr<Session> Session::create(const QString& title, const QString& app, const std::optional<QUuid>& workspace,
                                         const std::optional<QDateTime>& started, const std::optional<QString>& base)
{
    const QDateTime start = started ? *started : Clock::current().now();
    const QString root = base ? Paths::ensure(*base) : Paths::recordings();
    const QString stamp = Fmt::stamp(start);
    // mkdir is the test and the claim in one step: a name that exists (folder or
    // file) fails with EEXIST and the next suffix is tried.
    QString dir = root + u'/' + stamp;
    for (int n = 2;; ++n) {
        if (::mkdir(QFile::encodeName(dir).constData(), 0700) == 0)
            break;
        if (errno != EEXIST)
            throw Session::CreateError("cannot create the session folder " + QFileInfo(dir).fileName().toStdString()
                                       + ": " + std::strerror(errno));
        dir = root + u'/' + stamp + u'-' + QString::number(n);
    }
    for (const char* sub : {"shots", "pins"}) {
        const QString path = dir + u'/' + QLatin1String(sub);
        if (::mkdir(QFile::encodeName(path).constData(), 0700) != 0 && errno != EEXIST)
            throw Session::CreateError("cannot create " + QFileInfo(dir).fileName().toStdString() + '/' + sub + ": "
                                       + std::strerror(errno));
    }
    SessionMeta meta;
    meta.title = title;
    meta.app = app;
    meta.started = start;
    meta.workspaceID = workspace;
    auto session = std::make_shared<Session>(dir, std::move(meta));
    session->save();
    return session;
}

std::shared_ptr<Session> Session::load(const QString& dir)
{
    auto meta = JSONFile::read<SessionMeta>(dir + QStringLiteral("/meta.json"));
    if (!meta)
        return nullptr;
    return std::make_shared<Session>(dir, std::move(*meta));
}

std::vector<std::shared_ptr<Session>> Session::pending(const std::optional<QString>& base)
{
    const QString root = base ? *base : Paths::recordings();
    QStringList names = QDir(root).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                             QDir::NoSort);
    // Plain string order: stamps oldest first, "-10" before "-2".
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) { return a.toUtf8() < b.toUtf8(); });
    std::vector<std::shared_ptr<Session>> out;
    for (const QString& name : names) {
        auto session = load(root + u'/' + name);
        if (session && session->meta().ended && !SessionLock::isLocked(session->dir()))
            out.push_back(std::move(session));
    }
    return out;
}

void Session::save() const
{
    try {
        JSONFile::write(meta_, path(QStringLiteral("meta.json")));
    } catch (const std::exception& e) {
        slog(QStringLiteral("save meta ") + QFileInfo(dir_).fileName() + QStringLiteral(": ")
             + QString::fromStdString(e.what()));
    }
}

QString Session::path(const QString& name) const
{
    return dir_ + u'/' + name;
}

std::optional<QString> Session::writeImage(const QString& file, const QByteArray& jpeg) const
{
    const QByteArray name = QFile::encodeName(path(file));
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return QString::fromLocal8Bit(std::strerror(errno)) + QStringLiteral(" (") + file + u')';
    const bool ok = FileIO::writeAll(fd, jpeg.constData(), size_t(jpeg.size()));
    const int err = errno;
    if (::close(fd) != 0 || !ok)
        return QString::fromLocal8Bit(std::strerror(ok ? errno : err)) + QStringLiteral(" (") + file + u')';
    return std::nullopt;
}

void Session::addShot(double t, const QByteArray& jpeg)
{
    const QString file = numbered("shots", meta_.shots.size());
    if (const auto error = writeImage(file, jpeg)) {
        slog(QStringLiteral("shot write: ") + *error);
        return;
    }
    meta_.shots.push_back({t, file});
}

void Session::addPin(double t, const QString& note, const QByteArray& jpeg, PinKind kind)
{
    const QString file = numbered("pins", meta_.pins.size());
    if (const auto error = writeImage(file, jpeg)) {
        slog(QStringLiteral("pin write: ") + *error);
        return;
    }
    meta_.pins.push_back({t, note, file, kind == PinKind::automatic ? std::optional(true) : std::nullopt,
                          kind == PinKind::textOnly ? std::optional(true) : std::nullopt});
}

std::optional<QString> Session::audioPath() const
{
    if (!meta_.audioFile)
        return std::nullopt;
    const QString file = path(*meta_.audioFile);
    if (!QFileInfo(file).isFile())
        return std::nullopt;
    return file;
}
