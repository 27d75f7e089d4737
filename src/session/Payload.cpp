#include "session/Payload.h"

#include "core/Clock.h"
#include "core/Fmt.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>

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
    o.insert(QStringLiteral("levels"), QJsonObject{{QStringLiteral("mic"), dicts(meta.levelsMic)},
                                                   {QStringLiteral("tab"), dicts(meta.levelsTab)},
                                                   {QStringLiteral("mic_ok"), meta.micOk}});
    o.insert(QStringLiteral("source"), QStringLiteral("mac"));
    o.insert(QStringLiteral("app"), meta.app);
    o.insert(QStringLiteral("expect_audio"), session.audioURL().has_value());
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

template <class T>
QJsonArray images(const Session& session, const std::vector<T>& items)
{
    QJsonArray out;
    for (const T& item : items) {
        QFile file(session.url(item.file));
        if (!file.open(QIODevice::ReadOnly))
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
    explicit Writer(QSaveFile& out) : out_(out) {}

    void put(const QByteArray& bytes)
    {
        if (out_.write(bytes) != bytes.size())
            fail(out_.errorString());
    }

    // `[{"jpeg":"…",<record>},…]`, skipping images that cannot be opened.
    template <class T>
    void images(const Session& session, const std::vector<T>& items)
    {
        put("[");
        bool first = true;
        for (const T& item : items) {
            QFile file(session.url(item.file));
            if (!file.open(QIODevice::ReadOnly))
                continue;
            put(first ? "{\"jpeg\":\"" : ",{\"jpeg\":\"");
            first = false;
            base64(file);
            // The record's own text minus its opening brace follows the image.
            put("\"," + compact(record(item)).mid(1));
        }
        put("]");
    }

private:
    // Reads in pieces of a multiple of 3 bytes, so the pieces' Base64 texts
    // join into the Base64 of the whole file.
    void base64(QFile& file)
    {
        constexpr qint64 piece = 3 * 64 * 1024;
        QByteArray buffer(piece, Qt::Uninitialized);
        for (;;) {
            qint64 filled = 0;
            while (filled < piece) {
                const qint64 n = file.read(buffer.data() + filled, piece - filled);
                if (n < 0)
                    fail(QStringLiteral("cannot read ") + file.fileName() + QStringLiteral(": ") + file.errorString());
                if (n == 0)
                    break;
                filled += n;
            }
            if (filled > 0)
                put(QByteArray::fromRawData(buffer.constData(), filled).toBase64());
            if (filled < piece)
                return;
        }
    }

    [[noreturn]] static void fail(const QString& message)
    {
        throw Payload::WriteError(QStringLiteral("cannot write the upload payload: %1").arg(message).toStdString());
    }

    QSaveFile& out_;
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
    const QString path = session.url(QStringLiteral("payload.json"));
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly))
        throw WriteError(QStringLiteral("cannot write %1: %2").arg(path, out.errorString()).toStdString());
    out.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);

    Writer writer(out);
    QByteArray head = compact(frame(session, selfName));
    head.chop(1); // the closing brace; the image arrays follow
    writer.put(head);
    writer.put(",\"shots\":");
    writer.images(session, session.meta().shots);
    writer.put(",\"pins\":");
    writer.images(session, session.meta().pins);
    writer.put("}");
    if (!out.commit())
        throw WriteError(QStringLiteral("cannot write %1: %2").arg(path, out.errorString()).toStdString());
    return path;
}

} // namespace Payload
