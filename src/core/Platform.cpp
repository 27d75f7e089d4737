#include "core/Platform.h"

namespace Platform {

namespace {

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

} // namespace Platform
