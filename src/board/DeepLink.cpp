#include "board/DeepLink.h"

#include "board/WebHosts.h"
#include "core/Address.h"
#include "core/Log.h"
#include "core/Strings.h"

#include <QStringDecoder>
#include <QStringList>

namespace {

// The percent-decoded text; nothing for a bad escape or bytes that are not UTF-8.
std::optional<QString> percentDecoded(const QString& text)
{
    const QByteArray raw = text.toUtf8();
    QByteArray out;
    for (qsizetype i = 0; i < raw.size(); ++i) {
        if (raw[i] != '%') {
            out += raw[i];
            continue;
        }
        if (i + 2 >= raw.size() || !isxdigit((unsigned char)raw[i + 1]) || !isxdigit((unsigned char)raw[i + 2]))
            return std::nullopt;
        out += char(raw.mid(i + 1, 2).toInt(nullptr, 16));
        i += 2;
    }
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString decoded = utf8.decode(out);
    if (utf8.hasError())
        return std::nullopt;
    return decoded;
}

qsizetype firstOf(const QString& text, const QString& chars, qsizetype from = 0)
{
    for (qsizetype i = from; i < text.size(); ++i)
        if (chars.contains(text[i]))
            return i;
    return text.size();
}

// A value from a link, made safe for one log line: cut, control characters blanked.
QString quoted(const QString& text)
{
    return u'"' + Log::oneLine(cut(text, 80)) + u'"';
}

} // namespace

std::optional<DeepLink> DeepLink::parse(const QString& link)
{
    const qsizetype colon = link.indexOf(u':');
    if (colon <= 0 || link.left(colon).toLower() != QStringLiteral("zelvan"))
        return std::nullopt;
    const QString rest = link.mid(colon + 1);

    QStringList parts;
    QString path;
    if (rest.startsWith(QStringLiteral("//"))) {
        const qsizetype end = firstOf(rest, QStringLiteral("/?#"), 2);
        QString host = rest.mid(2, end - 2);
        host = host.mid(host.lastIndexOf(u'@') + 1);
        if (const qsizetype port = host.lastIndexOf(u':'); port >= 0 && !host.startsWith(u'['))
            host.truncate(port);
        if (!host.isEmpty())
            parts << host;
        path = rest.mid(end, firstOf(rest, QStringLiteral("?#"), end) - end);
    } else {
        // The opaque form: everything after "zelvan:" up to the query.
        path = rest.left(firstOf(rest, QStringLiteral("?")));
    }
    for (const QString& piece : path.split(u'/', Qt::SkipEmptyParts))
        parts << percentDecoded(piece).value_or(piece);

    QStringList kept;
    for (const QString& part : parts)
        if (const QString t = part.trimmed(); !t.isEmpty())
            kept << t;
    if (kept.isEmpty())
        return std::nullopt;

    const QString k = kept[0].toLower();
    const qsizetype n = kept.size();
    if ((k == QStringLiteral("board") || k == QStringLiteral("app")) && n == 1)
        return board();
    if (k == QStringLiteral("p") && n == 2)
        return project(kept[1]);
    if (k == QStringLiteral("p") && n == 3 && kept[2].toLower() == QStringLiteral("board"))
        return project(kept[1]);
    if (k == QStringLiteral("p") && n == 4 && kept[2].toLower() == QStringLiteral("card"))
        return card(kept[1], kept[3]);
    if ((k == QStringLiteral("session") || k == QStringLiteral("r")) && n == 2)
        return session(kept[1]);
    return std::nullopt;
}

std::optional<QUrl> DeepLink::webURL(const QString& base, const Known& known) const
{
    const QString b = Address::clean(base);
    QString text;
    switch (kind) {
    case Kind::project:
        text = b + QStringLiteral("/app/p/") + urlComponent(slug) + QStringLiteral("/#/board");
        break;
    case Kind::card:
        text = b + QStringLiteral("/app/p/") + urlComponent(slug) + QStringLiteral("/#/board?card=") + urlComponent(id);
        break;
    case Kind::session:
        if (known)
            if (auto page = known(id))
                return page;
        text = b + QStringLiteral("/app/r/") + urlComponent(id);
        break;
    case Kind::board:
        text = b + QStringLiteral("/app");
        break;
    }
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || url.scheme().isEmpty())
        return std::nullopt;
    return url;
}

std::optional<QUrl> DeepLink::from(const QUrl& web, const QString& base)
{
    if (!WebHosts::isBoard(web, base))
        return std::nullopt;
    const QString path = web.path(QUrl::FullyDecoded);
    if (path == QStringLiteral("/app") || path == QStringLiteral("/app/"))
        return QUrl(QStringLiteral("zelvan://board"));
    if (path.startsWith(QStringLiteral("/app/r/")))
        return QUrl(QStringLiteral("zelvan://session/") + urlComponent(path.mid(7)));
    return std::nullopt;
}

QString DeepLink::describe() const
{
    switch (kind) {
    case Kind::project:
        return QStringLiteral("project(slug: ") + quoted(slug) + u')';
    case Kind::card:
        return QStringLiteral("card(slug: ") + quoted(slug) + QStringLiteral(", id: ") + quoted(id) + u')';
    case Kind::session:
        return QStringLiteral("session(id: ") + quoted(id) + u')';
    case Kind::board:
        break;
    }
    return QStringLiteral("board");
}
