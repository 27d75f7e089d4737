#include "session/Payload.h"

#include "core/Clock.h"
#include "core/Fmt.h"
#include "core/Log.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryFile>
#include <array>
#include <cstdio>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

template <class T>
QJsonArray dicts(const std::vector<T>& items)
{
    QJsonArray out;
    for (const T& item : items)
        out.append(item.dict());
    return out;
}

QString kind(const SessionMeta& meta)
{
    if (meta.kind)
        return *meta.kind;
    return meta.fromCall || meta.callApp ? QStringLiteral("call") : QStringLiteral("session");
}

// Every key but "shots" and "pins".
QJsonObject frame(const Session& session, const std::optional<QString>& selfName)
{
    const SessionMeta& meta = session.meta();
    QJsonObject o;
    o.insert(QStringLiteral("title"), meta.title);
    o.insert(QStringLiteral("started"), Fmt::iso(meta.started));
    o.insert(QStringLiteral("ended"), Fmt::iso(meta.ended ? *meta.ended : Clock::current().now()));
    o.insert(QStringLiteral("url"), QJsonValue::Null);
    o.insert(QStringLiteral("participants"), QJsonArray::fromStringList(meta.participants));
    o.insert(QStringLiteral("self"), selfName.value_or(QString()));
    o.insert(QStringLiteral("captions"), QJsonArray());
    o.insert(QStringLiteral("speakers"), QJsonArray());
    o.insert(QStringLiteral("levels"),
             QJsonObject{{QStringLiteral("mic"), dicts(meta.levelsMic)},
                         {QStringLiteral("tab"), dicts(meta.levelsTab)},
                         {QStringLiteral("mic_ok"), meta.micOk}});
    o.insert(QStringLiteral("source"), QStringLiteral("mac"));
    o.insert(QStringLiteral("app"), meta.app);
    o.insert(QStringLiteral("expect_audio"), session.audioPath().has_value());
    o.insert(QStringLiteral("kind"), kind(meta));
    o.insert(QStringLiteral("ocr"), meta.ocr ? dicts(*meta.ocr) : QJsonArray());
    o.insert(QStringLiteral("apps"), meta.apps ? dicts(*meta.apps) : QJsonArray());
    o.insert(QStringLiteral("routed"), meta.routed ? QJsonValue(meta.routed->dict()) : QJsonValue(QJsonValue::Null));
    return o;
}

// A shot or pin record without its "jpeg".
QJsonObject record(const ShotMeta& shot)
{
    return QJsonObject{{QStringLiteral("t"), shot.t}};
}

QJsonObject record(const PinMeta& pin)
{
    QJsonObject o{{QStringLiteral("t"), pin.t}, {QStringLiteral("note"), pin.note}};
    if (pin.autoPin.value_or(false))
        o.insert(QStringLiteral("auto"), true);
    if (pin.textOnly.value_or(false))
        o.insert(QStringLiteral("text_only"), true);
    return o;
}

// Only a regular file that is no link: opening a FIFO in an image's place would
// wait for a writer and hold the upload up for good, and a link would send
// whatever file it points to.
bool openImage(QFile& file)
{
    const int fd = ::open(QFile::encodeName(file.fileName()).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return false;
    }
    return true;
}

template <class T>
QJsonArray images(const Session& session, const std::vector<T>& items)
{
    QJsonArray out;
    for (const T& item : items) {
        QFile file(session.path(item.file));
        if (!openImage(file))
            continue;
        const QByteArray bytes = file.readAll();
        if (file.error() != QFileDevice::NoError)
            continue;
        QJsonObject o = record(item);
        o.insert(QStringLiteral("jpeg"), QString::fromLatin1(bytes.toBase64()));
        out.append(o);
    }
    return out;
}

QByteArray compact(const QJsonObject& o)
{
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

// Streams the JSON text of the payload into `out`.
class Writer {
public:
    explicit Writer(QFileDevice& out)
        : out_(out)
    {
    }

    void put(const QByteArray& bytes)
    {
        if (out_.write(bytes) != bytes.size())
            fail(out_.errorString());
    }

    // `[{"jpeg":"…",<record>},…]`, skipping images that cannot be read, like
    // Payload::dictionary: one bad file must not make every attempt fail.
    template <class T>
    void images(const Session& session, const std::vector<T>& items)
    {
        put("[");
        bool first = true;
        for (const T& item : items) {
            QFile file(session.path(item.file));
            if (!openImage(file))
                continue;
            const qint64 mark = out_.pos();
            put(first ? "{\"jpeg\":\"" : ",{\"jpeg\":\"");
            if (!base64(file)) {
                slog(QStringLiteral("upload payload: left out %1: %2").arg(item.file, file.errorString()));
                // Later output overwrites the part already written; end() cuts what remains.
                if (!out_.seek(mark))
                    fail(out_.errorString());
                continue;
            }
            first = false;
            // The record's own text minus its opening brace follows the image.
            put("\"," + compact(record(item)).mid(1));
        }
        put("]");
    }

    // Ends the file where the text ends.
    void end()
    {
        if (!out_.flush() || !out_.resize(out_.pos()))
            fail(out_.errorString());
    }

private:
    // Reads in pieces of a multiple of 3 bytes, so the pieces' Base64 texts
    // join into the Base64 of the whole file. False when the file fails to read.
    bool base64(QFile& file)
    {
        QByteArray& buffer = buffer_;
        QByteArray& text = text_;
        for (;;) {
            qint64 filled = 0;
            while (filled < piece) {
                const qint64 n = file.read(buffer.data() + filled, piece - filled);
                if (n < 0)
                    return false;
                if (n == 0)
                    break;
                filled += n;
            }
            const qint64 whole = filled / 3 * 3;
            encodeGroups(reinterpret_cast<const uchar*>(buffer.constData()), whole, text.data());
            put(QByteArray::fromRawData(text.constData(), whole / 3 * 4));
            if (filled < piece) {
                // The last one or two bytes, with padding.
                if (filled > whole)
                    put(QByteArray::fromRawData(buffer.constData() + whole, filled - whole).toBase64());
                return true;
            }
        }
    }

    // Standard Base64 of whole 3-byte groups: 12 bits at a time through a table
    // of character pairs, several times faster than QByteArray::toBase64 — the
    // encoding is most of the payload's writing time.
    static void encodeGroups(const uchar* in, qint64 size, char* out)
    {
        static const auto pairs = [] {
            static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
            std::array<std::array<char, 2>, 4096> table{};
            for (int i = 0; i < 4096; ++i)
                table[size_t(i)] = {alphabet[i >> 6], alphabet[i & 63]};
            return table;
        }();
        for (qint64 i = 0; i < size; i += 3, out += 4) {
            const quint32 v = quint32(in[i]) << 16 | quint32(in[i + 1]) << 8 | in[i + 2];
            std::memcpy(out, pairs[v >> 12].data(), 2);
            std::memcpy(out + 2, pairs[v & 0xfff].data(), 2);
        }
    }

    [[noreturn]] static void fail(const QString& message)
    {
        throw Payload::WriteError(QStringLiteral("cannot write the upload payload: %1").arg(message).toStdString());
    }

    static constexpr qint64 piece = 3 * 64 * 1024;
    QFileDevice& out_;
    QByteArray buffer_ = QByteArray(piece, Qt::Uninitialized);
    QByteArray text_ = QByteArray(piece / 3 * 4, Qt::Uninitialized);
};

} // namespace

namespace Payload {

QJsonObject dictionary(const Session& session, const std::optional<QString>& selfName)
{
    QJsonObject o = frame(session, selfName);
    o.insert(QStringLiteral("shots"), images(session, session.meta().shots));
    o.insert(QStringLiteral("pins"), images(session, session.meta().pins));
    return o;
}

QString write(const Session& session, const std::optional<QString>& selfName)
{
    const QString path = session.path(QStringLiteral("payload.json"));
    // A temporary file (owner-only) renamed over the target: the file is whole or
    // absent. It is not synced to disk: a payload lost in a crash is written again
    // before the next attempt, and syncing tens of megabytes would double the time.
    QTemporaryFile out(path + QStringLiteral(".XXXXXX"));
    if (!out.open())
        throw WriteError(QStringLiteral("cannot write %1: %2").arg(path, out.errorString()).toStdString());

    Writer writer(out);
    QByteArray head = compact(frame(session, selfName));
    head.chop(1); // the closing brace; the image arrays follow
    writer.put(head);
    writer.put(",\"shots\":");
    writer.images(session, session.meta().shots);
    writer.put(",\"pins\":");
    writer.images(session, session.meta().pins);
    writer.put("}");
    writer.end();
    if (::rename(QFile::encodeName(out.fileName()).constData(), QFile::encodeName(path).constData()) != 0)
        throw WriteError(
            QStringLiteral("cannot write %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno))).toStdString());
    out.setAutoRemove(false);
    return path;
}

} // namespace Payload
