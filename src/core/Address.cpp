#include "core/Address.h"

namespace Address {

namespace {

// "scheme://authority" lower-cased, or nothing for a reference without both.
std::optional<QString> originOf(const Url& url)
{
    const QString& text = url.text();
    const qsizetype start = text.indexOf(QStringLiteral("://"));
    if (!url.hasScheme() || !url.host() || start < 0)
        return std::nullopt;
    qsizetype end = start + 3;
    while (end < text.size() && text[end] != u'/' && text[end] != u'?' && text[end] != u'#')
        ++end;
    return text.left(end).toLower();
}

bool isLocalHost(const QString& host)
{
    return host == u"127.0.0.1" || host == u"localhost" || host == u"::1" || host.endsWith(u".localhost");
}

} // namespace

QString clean(const QString& text)
{
    QString out = text.trimmed();
    while (out.endsWith(u'/'))
        out.chop(1);
    return out;
}

bool isLocal(const QString& base)
{
    const auto url = Url::parse(clean(base));
    return url && url->host() && isLocalHost(*url->host());
}

std::optional<Url> resolve(const QString& text, const QString& base)
{
    if (auto url = Url::parse(text); url && url->hasScheme())
        return url;
    const QString path = text.startsWith(u'/') ? text : u'/' + text;
    auto url = Url::parse(clean(base) + path);
    // A base without a scheme would give a relative reference, which no
    // caller can open or send.
    if (!url || !url->hasScheme())
        return std::nullopt;
    return url;
}

bool sameOrigin(const Url& url, const QString& base)
{
    const auto baseURL = Url::parse(clean(base));
    const auto a = originOf(url);
    return a && baseURL && a == originOf(*baseURL);
}

} // namespace Address
