#include "core/Url.h"

namespace {

bool isAsciiAlpha(QChar c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

bool isHex(QChar c)
{
    return isDigit(c) || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

// Characters a URL may carry literally: RFC 3986 unreserved and reserved ones,
// "%" (checked separately) and non-ASCII text that is neither space nor control.
bool allowedChar(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= 0x80)
        return !c.isSpace() && c.category() != QChar::Other_Control && c.category() != QChar::Other_Format
            && !c.isNonCharacter();
    if (isAsciiAlpha(c) || isDigit(c))
        return true;
    static const QString others = QStringLiteral("-._~:/?#[]@!$&'()*+,;=%");
    return others.contains(c);
}

bool validScheme(QStringView s)
{
    if (s.isEmpty() || !isAsciiAlpha(s.front()))
        return false;
    for (const QChar c : s)
        if (!isAsciiAlpha(c) && !isDigit(c) && c != u'+' && c != u'-' && c != u'.')
            return false;
    return true;
}

bool validIPv6(QStringView s)
{
    if (s.isEmpty())
        return false;
    for (const QChar c : s)
        if (!isHex(c) && c != u':' && c != u'.')
            return false;
    return s.contains(u':');
}

} // namespace

std::optional<Url> Url::parse(const QString& text)
{
    int hashes = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (!allowedChar(c))
            return std::nullopt;
        if (c == u'%' && !(i + 2 < text.size() && isHex(text.at(i + 1)) && isHex(text.at(i + 2))))
            return std::nullopt;
        if (c == u'#' && ++hashes > 1)
            return std::nullopt;
    }

    Url url;
    url.text_ = text;
    qsizetype pos = 0;
    const qsizetype colon = text.indexOf(u':');
    const qsizetype firstDelim = [&] {
        qsizetype d = text.size();
        for (const QChar c : {u'/', u'?', u'#'}) {
            const qsizetype at = text.indexOf(c);
            if (at >= 0 && at < d)
                d = at;
        }
        return d;
    }();
    if (colon > 0 && colon < firstDelim && validScheme(QStringView(text).left(colon))) {
        url.scheme_ = text.left(colon);
        pos = colon + 1;
    }

    if (QStringView(text).mid(pos).startsWith(u"//")) {
        const qsizetype start = pos + 2;
        qsizetype end = text.size();
        for (const QChar c : {u'/', u'?', u'#'}) {
            const qsizetype at = text.indexOf(c, start);
            if (at >= 0 && at < end)
                end = at;
        }
        const QStringView authority = QStringView(text).mid(start, end - start);
        const qsizetype at = authority.lastIndexOf(u'@');
        const qsizetype hostStart = at < 0 ? 0 : at + 1;
        const QStringView hostPort = authority.mid(hostStart);
        QStringView host;
        QStringView port;
        qsizetype hostOffset = start + hostStart;
        if (hostPort.startsWith(u'[')) {
            const qsizetype close = hostPort.indexOf(u']');
            if (close < 0 || !validIPv6(hostPort.mid(1, close - 1)))
                return std::nullopt;
            host = hostPort.mid(1, close - 1);
            hostOffset += 1;
            const QStringView rest = hostPort.mid(close + 1);
            if (!rest.isEmpty()) {
                if (!rest.startsWith(u':'))
                    return std::nullopt;
                port = rest.mid(1);
            }
        } else {
            const qsizetype portColon = hostPort.lastIndexOf(u':');
            host = portColon < 0 ? hostPort : hostPort.left(portColon);
            if (portColon >= 0)
                port = hostPort.mid(portColon + 1);
            if (host.contains(u'[') || host.contains(u']') || host.contains(u':'))
                return std::nullopt;
        }
        for (const QChar c : port)
            if (!isDigit(c))
                return std::nullopt;
        url.host_ = host.toString();
        url.hostStart_ = hostOffset;
        url.hostEnd_ = hostOffset + host.size();
        pos = end;
    }

    // Brackets belong to IPv6 hosts only.
    for (qsizetype i = pos; i < text.size(); ++i)
        if (text.at(i) == u'[' || text.at(i) == u']')
            return std::nullopt;
    return url;
}

QByteArray Url::toEncoded() const
{
    QByteArray out;
    out.reserve(text_.size());
    for (qsizetype i = 0; i < text_.size(); ++i) {
        const QChar c = text_.at(i);
        const bool inHost = i >= hostStart_ && i < hostEnd_;
        if (c.unicode() < 0x80 || inHost) {
            out += QStringView(text_).mid(i, 1).toUtf8();
            continue;
        }
        qsizetype units = (c.isHighSurrogate() && i + 1 < text_.size()) ? 2 : 1;
        for (const char byte : QStringView(text_).mid(i, units).toUtf8()) {
            static constexpr char hex[] = "0123456789ABCDEF";
            const auto b = static_cast<unsigned char>(byte);
            out += '%';
            out += hex[b >> 4];
            out += hex[b & 0xF];
        }
        i += units - 1;
    }
    return out;
}

QUrl Url::toQUrl() const
{
    return QUrl::fromEncoded(toEncoded(), QUrl::StrictMode);
}
