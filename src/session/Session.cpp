#include "session/Session.h"

#include "core/Fmt.h"
#include "core/JSONFile.h"
#include "core/Log.h"
#include "core/Paths.h"
#include "core/Clock.h"
#include "session/SessionLock.h"
#include "platform/FileIO.h"

#include <QScopeGuard>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QTemporaryFile>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString numbered(const char* folder, size_t index)
{
    return QString::asprintf("%s/%03zu.jpg", folder, index);
}

QString errnoText(int err)
{
    return QString::fromLocal8Bit(std::strerror(err));
}

// Empties the folder open at `fd` (and closes it), going into sub-folders but
// never through a link: a link is removed, not what it points to.
bool clear(int fd)
{
    DIR* d = ::fdopendir(fd);
    if (!d) {
        ::close(fd);
        return false;
    }
    bool ok = true;
    while (const dirent* e = ::readdir(d)) {
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0)
            continue;
        struct stat st {};
        if (::fstatat(::dirfd(d), e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
            ok = false;
            continue;
        }
        if (S_ISDIR(st.st_mode)) {
            const int sub = ::openat(::dirfd(d), e->d_name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (sub < 0 || !clear(sub) || ::unlinkat(::dirfd(d), e->d_name, AT_REMOVEDIR) != 0)
                ok = false;
        } else if (::unlinkat(::dirfd(d), e->d_name, 0) != 0) {
            ok = false;
        }
    }
    ::closedir(d);
    return ok;
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
            throw Session::CreateError("cannot create the session folder " + dir.toStdString() + ": "
                                       + std::strerror(errno));
        dir = root + u'/' + stamp + u'-' + QString::number(n);
    }
    for (const char* sub : {"shots", "pins"}) {
        const QString path = dir + u'/' + QLatin1String(sub);
        if (::mkdir(QFile::encodeName(path).constData(), 0700) != 0 && errno != EEXIST)
            throw Session::CreateError("cannot create " + path.toStdString() + ": " + std::strerror(errno));
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

std::shared_ptr<Session> Session::load(const QString& dir, QString* problem)
{
    const auto fail = [problem](const QString& why) -> std::shared_ptr<Session> {
        if (problem)
            *problem = why;
        return nullptr;
    };
    // A folder that is a link is not ours: reading it would make us upload, and
    // then delete, whatever it points to.
    struct stat st {};
    if (::lstat(QFile::encodeName(dir).constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        return nullptr;
    // No link followed, and no FIFO or device waited on.
    const int fd = ::open(QFile::encodeName(dir + QStringLiteral("/meta.json")).constData(),
                          O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT)
            return nullptr;
        return fail(errno == ELOOP ? QStringLiteral("meta.json is a link") : errnoText(errno));
    }
    QByteArray data;
    {
        const auto closeFd = qScopeGuard([fd] { ::close(fd); });
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
            return fail(QStringLiteral("meta.json is not a regular file"));
        if (st.st_size > maxMetaBytes)
            return fail(QStringLiteral("meta.json is too big"));
        // The size may change while we read: never take more than the cap.
        data.resize(qsizetype(maxMetaBytes) + 1);
        qsizetype filled = 0;
        while (filled < data.size()) {
            const ssize_t n = ::read(fd, data.data() + filled, size_t(data.size() - filled));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                return fail(errnoText(errno));
            if (n == 0)
                break;
            filled += n;
        }
        if (filled > maxMetaBytes)
            return fail(QStringLiteral("meta.json is too big"));
        data.truncate(filled);
    }
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(data, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return fail(QStringLiteral("meta.json is not valid JSON"));
    try {
        return std::make_shared<Session>(dir, Json::decode<SessionMeta>(QJsonValue(doc.object())));
    } catch (const Json::DecodeError& e) {
        return fail(QStringLiteral("meta.json cannot be read: ") + QString::fromUtf8(e.what()));
    }
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

bool Session::save() const
{
    // A temporary file renamed over "meta.json": the file is whole or absent, and
    // a link in its place is replaced, never written through.
    const QString target = path(QStringLiteral("meta.json"));
    const QByteArray data = QJsonDocument(Json::encode(meta_).toObject()).toJson(QJsonDocument::Indented);
    QTemporaryFile out(target + QStringLiteral(".XXXXXX"));
    QString error;
    if (!out.open()) {
        error = out.errorString();
    } else if (out.write(data) != data.size() || !out.flush() || out.size() != data.size()
               || ::fsync(out.handle()) != 0) {
        error = out.errorString().isEmpty() ? errnoText(errno) : out.errorString();
    } else if (::rename(QFile::encodeName(out.fileName()).constData(), QFile::encodeName(target).constData()) != 0) {
        error = errnoText(errno);
    } else {
        out.setAutoRemove(false);
        return true;
    }
    slog(QStringLiteral("save meta ") + QFileInfo(dir_).fileName() + QStringLiteral(": cannot write ") + target
         + QStringLiteral(": ") + error);
    return false;
}

bool Session::removeFolder() const
{
    const QByteArray name = QFile::encodeName(dir_);
    const int fd = ::open(name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT;
    return clear(fd) && ::rmdir(name.constData()) == 0;
}

bool Session::isPlainFile(const QString& path)
{
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISREG(st.st_mode);
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
    if (!isPlainFile(file))
        return std::nullopt;
    return file;
}
