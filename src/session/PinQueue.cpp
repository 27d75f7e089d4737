#include "session/PinQueue.h"

#include "core/Clock.h"
#include "core/Fmt.h"
#include "core/JSONFile.h"
#include "core/Log.h"
#include "core/Numbers.h"
#include "core/Paths.h"
#include "platform/FileIO.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <unistd.h>

QJsonObject QueuedPin::toJson() const
{
    QJsonObject o;
    Json::put(o, "at", at);
    Json::put(o, "note", note);
    Json::put(o, "file", file);
    if (textOnly.value_or(false))
        Json::put(o, "textOnly", true);
    return o;
}

QueuedPin QueuedPin::fromJson(const QJsonObject& o)
{
    Json::Reader r(o);
    QueuedPin pin{r.get<QDateTime>("at"), r.get<QString>("note"), r.get<QString>("file"), r.opt<bool>("textOnly")};
    // The name is joined to the pins folder and later deleted: it must not reach outside.
    if (pin.file.isEmpty() || pin.file.contains(u'/') || pin.file == u"." || pin.file == u"..")
        throw Json::DecodeError("file: not a plain file name");
    if (!pin.textOnly.value_or(false))
        pin.textOnly.reset();
    return pin;
}

namespace {

std::mutex& lock()
{
    static std::mutex m;
    return m;
}

QString pinPath(const QString& name)
{
    return Paths::pins() + u'/' + name;
}

// Creates a new file with the bytes; never replaces one. errno-style error text, or nothing.
std::optional<QString> writeNew(const QString& path, const QByteArray& bytes, bool& exists)
{
    exists = false;
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        exists = errno == EEXIST;
        return QString::fromLocal8Bit(std::strerror(errno));
    }
    const bool ok = FileIO::writeAll(fd, bytes.constData(), size_t(bytes.size()));
    const int err = errno;
    if (::close(fd) != 0 || !ok) {
        const QString message = QString::fromLocal8Bit(std::strerror(ok ? errno : err));
        QFile::remove(path);
        return message;
    }
    return std::nullopt;
}

std::vector<QueuedPin> readQueue()
{
    return JSONFile::read<std::vector<QueuedPin>>(PinQueue::path()).value_or(std::vector<QueuedPin>());
}

// Keeps a queue file that does not decode as "queue.json.bad" (".bad.2", ".bad.3"…
// when taken) so that a new queue does not overwrite its pins; an earlier one is
// never replaced. False when it stays where it is.
bool moveAside(const QString& path)
{
    const QByteArray from = QFile::encodeName(path);
    int err = EEXIST;
    for (int n = 1; n < 1000 && err == EEXIST; ++n) {
        const QString aside = path + QStringLiteral(".bad") + (n > 1 ? u'.' + QString::number(n) : QString());
        if (::link(from.constData(), QFile::encodeName(aside).constData()) == 0) {
            ::unlink(from.constData());
            slog(QStringLiteral("queue pin: the queue did not decode; kept as ") + QFileInfo(aside).fileName());
            return true;
        }
        err = errno;
    }
    slog(QStringLiteral("queue pin: the queue does not decode and cannot be kept: ")
         + QString::fromLocal8Bit(std::strerror(err)));
    return false;
}

} // namespace

namespace PinQueue {

QString path()
{
    return Paths::pins() + QStringLiteral("/queue.json");
}

std::vector<QueuedPin> all()
{
    std::lock_guard guard(lock());
    return readQueue();
}

int count()
{
    return int(all().size());
}

void add(const QByteArray& jpeg, const QString& note, bool textOnly)
{
    std::lock_guard guard(lock());
    const auto stored = JSONFile::read<std::vector<QueuedPin>>(path());
    if (!stored && QFileInfo(path()).isFile() && !moveAside(path()))
        return;
    std::vector<QueuedPin> queue = stored.value_or(std::vector<QueuedPin>());

    // Two pins in one second differ only in the 4 UUID characters; an exclusive
    // create makes a clash pick new ones instead of overwriting the earlier image.
    const QString stamp = Fmt::stamp(Clock::current().now());
    QString name;
    std::optional<QString> error;
    for (int attempt = 0; attempt < 32; ++attempt) {
        name = QStringLiteral("pin-") + stamp + u'-'
            + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper().left(4) + QStringLiteral(".jpg");
        bool exists = false;
        error = writeNew(pinPath(name), jpeg, exists);
        if (!exists)
            break;
    }
    if (error) {
        slog(QStringLiteral("queue pin: ") + *error + QStringLiteral(" (") + name + u')');
        return;
    }

    queue.push_back({Clock::current().now(), note, name, textOnly ? std::optional(true) : std::nullopt});
    try {
        JSONFile::write(queue, path());
    } catch (const std::exception& e) {
        slog(QStringLiteral("queue pin: ") + QString::fromUtf8(e.what()));
        // No entry points at the image: it would never be sent nor deleted.
        QFile::remove(pinPath(name));
    }
}

std::shared_ptr<Session> toSession(const std::optional<QUuid>& workspace)
{
    std::lock_guard guard(lock());
    const std::vector<QueuedPin> queue = readQueue();
    if (queue.empty())
        return nullptr;
    const QueuedPin& first = queue.front();
    const QueuedPin& last = queue.back();

    std::shared_ptr<Session> session;
    try {
        session = Session::create(QStringLiteral("Pins \u00B7 ") + Fmt::human(first.at), QStringLiteral("Screen"),
                                  workspace, first.at);
    } catch (const std::exception& e) {
        slog(QStringLiteral("send pins: ") + QString::fromUtf8(e.what()));
        return nullptr;
    }

    // Entries whose image is in the session, and those whose image cannot be read
    // (they can never be sent); an image the session failed to store stays queued.
    std::vector<bool> done(queue.size(), false);
    for (size_t i = 0; i < queue.size(); ++i) {
        const QueuedPin& pin = queue[i];
        QFile file(pinPath(pin.file));
        if (!file.open(QIODevice::ReadOnly)) {
            done[i] = true;
            continue;
        }
        const QByteArray bytes = file.readAll();
        if (file.error() != QFileDevice::NoError) {
            done[i] = true;
            continue;
        }
        const size_t before = session->meta().pins.size();
        session->addPin(round1(first.at.msecsTo(pin.at) / 1000.0), pin.note, bytes,
                        pin.textOnly.value_or(false) ? Session::PinKind::textOnly : Session::PinKind::screenshot);
        done[i] = session->meta().pins.size() > before;
    }

    SessionMeta& meta = session->meta();
    meta.ended = std::max(last.at, first.at.addSecs(1));
    meta.kind = QStringLiteral("session");
    session->save();

    // save() only logs its failures: read the file back before anything is deleted.
    const auto saved = JSONFile::read<SessionMeta>(session->path(QStringLiteral("meta.json")));
    if (!saved || !saved->ended || saved->pins.size() != meta.pins.size()) {
        slog(QStringLiteral("send pins: the new session could not be saved; the pins stay queued"));
        QDir(session->dir()).removeRecursively();
        return nullptr;
    }

    std::vector<QueuedPin> left;
    for (size_t i = 0; i < queue.size(); ++i) {
        if (done[i])
            QFile::remove(pinPath(queue[i].file));
        else
            left.push_back(queue[i]);
    }
    if (left.empty()) {
        QFile::remove(path());
    } else {
        try {
            JSONFile::write(left, path());
        } catch (const std::exception& e) {
            slog(QStringLiteral("send pins: ") + QString::fromUtf8(e.what()));
        }
    }
    return session;
}

} // namespace PinQueue
