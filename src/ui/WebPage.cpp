#include "ui/WebPage.h"

#include "core/Log.h"
#include "core/SignIn.h"

namespace {

std::function<void(const Url&)>& opener()
{
    static std::function<void(const Url&)> f;
    return f;
}

} // namespace

namespace WebPage {

bool open(const Url& url)
{
    const QString scheme = url.scheme().toLower();
    if (scheme != u"http" && scheme != u"https") {
        slog(QStringLiteral("window: not opening a link that is not a web address (") + scheme + u')');
        return false;
    }
    if (opener())
        opener()(url);
    else
        SignIn::openInBrowser(url);
    return true;
}

void setOpener(std::function<void(const Url&)> f)
{
    opener() = std::move(f);
}

} // namespace WebPage
