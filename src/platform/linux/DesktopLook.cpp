#include "platform/DesktopLook.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QObject>
#include <QVariant>

#undef signals
#include <gio/gio.h>

namespace {

const char* const portalService = "org.freedesktop.portal.Desktop";
const char* const portalPath = "/org/freedesktop/portal/desktop";
const char* const portalSettings = "org.freedesktop.portal.Settings";
const char* const appearance = "org.freedesktop.appearance";

// The portal wraps the value in one or two variants, depending on its version.
QVariant unwrap(QVariant v)
{
    while (v.canConvert<QDBusVariant>() && v.userType() == qMetaTypeId<QDBusVariant>())
        v = v.value<QDBusVariant>().variant();
    return v;
}

// color-scheme: 0 no preference, 1 prefer dark, 2 prefer light.
std::optional<bool> schemeFrom(const QVariant& raw)
{
    bool ok = false;
    const uint value = unwrap(raw).toUInt(&ok);
    if (!ok || value == 0 || value > 2)
        return std::nullopt;
    return value == 1;
}

class PortalScheme : public QObject {
    Q_OBJECT
public:
    PortalScheme()
    {
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (!bus.isConnected())
            return;
        QDBusMessage call = QDBusMessage::createMethodCall(portalService, portalPath, portalSettings, "Read");
        call << QString::fromLatin1(appearance) << QStringLiteral("color-scheme");
        // A missing portal answers at once; a hung one must not freeze the interface.
        const QDBusMessage reply = bus.call(call, QDBus::Block, 500);
        if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty())
            dark = schemeFrom(reply.arguments().first());
        bus.connect(portalService, portalPath, portalSettings, "SettingChanged", this,
                    SLOT(settingChanged(QString, QString, QDBusVariant)));
    }

    std::optional<bool> dark;
    std::vector<std::function<void()>> listeners;

public slots:
    void settingChanged(const QString& group, const QString& key, const QDBusVariant& value)
    {
        if (group != QLatin1String(appearance) || key != QLatin1String("color-scheme"))
            return;
        dark = schemeFrom(value.variant());
        for (const auto& listener : listeners)
            listener();
    }
};

PortalScheme& portal()
{
    static PortalScheme* scheme = new PortalScheme; // lives as long as the bus connection
    return *scheme;
}

GSettings* interfaceSettings()
{
    // Looked up first: GSettings aborts the process on a schema that is not installed.
    static GSettings* settings = []() -> GSettings* {
        GSettingsSchemaSource* source = g_settings_schema_source_get_default();
        if (!source)
            return nullptr;
        GSettingsSchema* schema = g_settings_schema_source_lookup(source, "org.gnome.desktop.interface", TRUE);
        if (!schema)
            return nullptr;
        const bool hasKey = g_settings_schema_has_key(schema, "enable-animations");
        g_settings_schema_unref(schema);
        return hasKey ? g_settings_new("org.gnome.desktop.interface") : nullptr;
    }();
    return settings;
}

// The animation setting as last read, and who wants to hear of a change. The
// change signal comes through GLib's main context, which Qt's event loop runs.
struct Motion {
    bool reduced = false;
    std::vector<std::function<void()>> listeners;
};

Motion& motion()
{
    static Motion* const m = [] {
        auto* state = new Motion; // lives as long as the settings object
        GSettings* settings = interfaceSettings();
        if (!settings)
            return state;
        state->reduced = !g_settings_get_boolean(settings, "enable-animations");
        g_signal_connect(settings, "changed::enable-animations",
                         G_CALLBACK(+[](GSettings* s, const gchar*, gpointer data) {
                             auto* m = static_cast<Motion*>(data);
                             const bool reduced = !g_settings_get_boolean(s, "enable-animations");
                             if (reduced == m->reduced)
                                 return;
                             m->reduced = reduced;
                             for (const auto& listener : m->listeners)
                                 listener();
                         }),
                         state);
        return state;
    }();
    return *m;
}

} // namespace

namespace DesktopLook {

std::optional<bool> prefersDark()
{
    return portal().dark;
}

bool reduceMotion()
{
    return motion().reduced;
}

void onMotionChange(std::function<void()> changed)
{
    motion().listeners.push_back(std::move(changed));
}

void onSchemeChange(std::function<void()> changed)
{
    portal().listeners.push_back(std::move(changed));
}

} // namespace DesktopLook

#include "DesktopLook.moc"
