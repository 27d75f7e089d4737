#include "board/Notify.h"

#include "board/BoardModule.h"
#include "board/DeepLink.h"
#include "board/SessionLinks.h"
#include "board/WebHosts.h"
#include "core/Log.h"
#include "core/Address.h"
#include "core/Settings.h"
#include "core/Strings.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace {

const QString service = QStringLiteral("org.freedesktop.Notifications");
const QString path = QStringLiteral("/org/freedesktop/Notifications");

QUrl homeOn(const QString& base)
{
    return DeepLink::board().webURL(base).value_or(QUrl(Address::defaultBase + QStringLiteral("/app")));
}

} // namespace

Notify& Notify::shared()
{
    static Notify* instance = [] {
        auto* n = new Notify(Settings::shared());
        n->onOpen = [](const QUrl& url) {
            if (const BoardModule::Entry* board = BoardModule::entry())
                board->show(url);
        };
        return n;
    }();
    return *instance;
}

Notify::Notify(Settings& settings, QObject* parent)
    : QObject(parent)
    , settings_(settings)
{
}

bool Notify::switchedOff(const QStringList& arguments)
{
    return arguments.contains(QStringLiteral("--dump-menu")) || arguments.contains(QStringLiteral("--ui-check"))
        || !qEnvironmentVariable("ZELVAN_DEFAULTS_SUITE").isEmpty()
        || qEnvironmentVariable("ZELVAN_NOTIFY") == QStringLiteral("0");
}

void Notify::setup(const QStringList& arguments)
{
    if (enabled_ || switchedOff(arguments))
        return;
    enabled_ = true;
    // The service sends ActionInvoked to the client that posted.
    QDBusConnection::sessionBus().connect(service, path, service, QStringLiteral("ActionInvoked"), this,
                                          SLOT(actionInvoked(uint, QString)));
    allowed_ = serviceOwned();
}

bool Notify::serviceOwned() const
{
    const auto* bus = QDBusConnection::sessionBus().interface();
    return bus && bus->isServiceRegistered(service).value();
}

bool Notify::bodyMarkup() const
{
    const QDBusMessage ask = QDBusMessage::createMethodCall(service, path, service, QStringLiteral("GetCapabilities"));
    const QDBusMessage answer = QDBusConnection::sessionBus().call(ask, QDBus::Block, 5000);
    return answer.type() == QDBusMessage::ReplyMessage && !answer.arguments().isEmpty()
        && answer.arguments().constFirst().toStringList().contains(QStringLiteral("body-markup"));
}

Notify::Payload Notify::reviewReadyPayload(const QString& id, const QString& title, int suggestions,
                                           const std::optional<QUrl>& url, const QString& base)
{
    const QString body = suggestions == 0 ? QStringLiteral("Notes and the workflow review are in.")
                                          : QString::number(suggestions) + QStringLiteral(" suggestion")
            + (suggestions == 1 ? "" : "s") + QStringLiteral(" to look at.");
    return {QStringLiteral("review.") + id, QStringLiteral("Review ready — ") + cut(title, 60), body,
            url ? url : DeepLink::session(id).webURL(base)};
}

Notify::Payload Notify::savedPayload(const QString& id, const QString& title, const QString& where,
                                     const std::optional<QUrl>& url, const std::optional<QString>& key)
{
    return {QStringLiteral("session.") + key.value_or(id), QStringLiteral("Saved in ") + where,
            QStringLiteral("“") + cut(title, 80) + QStringLiteral("”"), url};
}

Notify::Payload Notify::filedPersonalPayload(const QString& title, const QString& key, const QString& base)
{
    return {QStringLiteral("session.") + key, QStringLiteral("Where does this go? → Personal"),
            QStringLiteral("No choice in 2 min, so “") + cut(title, 60)
                + QStringLiteral("” goes to Personal (only you see it). Move it from the menu."),
            DeepLink::board().webURL(base)};
}

QUrl Notify::target(const std::optional<QString>& url, const QString& base)
{
    if (url) {
        const QUrl page(*url, QUrl::StrictMode);
        if (page.isValid() && WebHosts::isBoard(page, base))
            return page;
    }
    return homeOn(base);
}

void Notify::reviewReady(const QString& id, const QString& title, int suggestions, const std::optional<QUrl>& url)
{
    const Payload p = reviewReadyPayload(id, title, suggestions, url, settings_.platformBase());
    SessionLinks::remember(settings_, id, url);
    post(p);
}

void Notify::saved(const QString& id, const QString& title, const QString& where, const std::optional<QUrl>& url,
                   const std::optional<QString>& key)
{
    SessionLinks::remember(settings_, id, url);
    post(savedPayload(id, title, where, url, key));
}

void Notify::filedPersonal(const QString& title, const QString& key)
{
    post(filedPersonalPayload(title, key, settings_.platformBase()));
}

void Notify::post(const Payload& payload)
{
    if (!enabled_)
        return;
    allowed_ = serviceOwned();
    if (!allowed_)
        return;
    QDBusMessage call = QDBusMessage::createMethodCall(service, path, service, QStringLiteral("Notify"));
    const uint replaces = serviceIDs_.value(payload.id, 0);
    // The summary is plain text; the body is markup when the server reads markup.
    const QString body = bodyMarkup() ? payload.body.toHtmlEscaped() : payload.body;
    call << QStringLiteral("Zelvan") << replaces << QString() << payload.title << body
         << QStringList{QStringLiteral("default"), QStringLiteral("Open")} << QVariantMap() << -1;
    auto* watcher = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(call), this);
    const QString id = payload.id;
    const std::optional<QString> url = payload.url ? std::optional(QString::fromUtf8(payload.url->toEncoded()))
                                                   : std::nullopt;
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, id, url](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        const QDBusPendingReply<uint> reply = *w;
        if (reply.isError()) {
            slog(QStringLiteral("notification failed: ") + Log::oneLine(reply.error().message()));
            return;
        }
        const uint number = reply.value();
        if (const auto old = serviceIDs_.find(id); old != serviceIDs_.end() && *old != number)
            urls_.remove(*old);
        serviceIDs_[id] = number;
        urls_[number] = url;
        emit posted(id, number);
    });
}

void Notify::actionInvoked(uint serviceID, const QString& action)
{
    const auto found = urls_.find(serviceID);
    if (action != QStringLiteral("default") || found == urls_.end())
        return;
    const QUrl page = target(*found, settings_.platformBase());
    if (onOpen)
        onOpen(page);
}
