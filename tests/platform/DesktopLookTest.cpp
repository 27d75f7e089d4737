// The colour-scheme preference read from a settings portal on the private
// desktop's session bus; the portal here is a stand-in owned by this process.
#include "platform/DesktopLook.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusVariant>
#include <QElapsedTimer>
#include <QObject>

#undef signals
#include <gio/gio.h>
#define signals Q_SIGNALS

namespace {

class FakePortal : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Settings")
public:
    uint scheme = 1; // prefer dark

public slots:
    // The portal's older Read answers a variant inside a variant.
    QDBusVariant Read(const QString& group, const QString& key)
    {
        if (group == "org.freedesktop.appearance" && key == "color-scheme")
            return QDBusVariant(QVariant::fromValue(QDBusVariant(scheme)));
        return QDBusVariant(QVariant(QString()));
    }

signals:
    void SettingChanged(const QString& group, const QString& key, const QDBusVariant& value);
};

bool waitFor(const std::function<bool()>& done)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > 10000)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

} // namespace

TEST(DesktopLook, ColourSchemeFollowsThePortal)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    ASSERT_TRUE(bus.isConnected());
    FakePortal portal;
    ASSERT_TRUE(bus.registerObject("/org/freedesktop/portal/desktop", &portal,
                                   QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals));
    ASSERT_TRUE(bus.registerService("org.freedesktop.portal.Desktop"));

    EXPECT_EQ(DesktopLook::prefersDark(), std::optional<bool>(true));
    int changes = 0;
    DesktopLook::onSchemeChange([&] { ++changes; });

    // Other settings are not the colour scheme.
    emit portal.SettingChanged("org.gnome.desktop.interface", "gtk-theme", QDBusVariant(QString("Adwaita")));
    emit portal.SettingChanged("org.freedesktop.appearance", "color-scheme", QDBusVariant(uint(2)));
    ASSERT_TRUE(waitFor([&] { return changes == 1; }));
    EXPECT_EQ(DesktopLook::prefersDark(), std::optional<bool>(false));

    emit portal.SettingChanged("org.freedesktop.appearance", "color-scheme", QDBusVariant(uint(0)));
    ASSERT_TRUE(waitFor([&] { return changes == 2; }));
    EXPECT_EQ(DesktopLook::prefersDark(), std::nullopt); // no preference

    bus.unregisterService("org.freedesktop.portal.Desktop");
    bus.unregisterObject("/org/freedesktop/portal/desktop");
}

TEST(DesktopLook, ReducedMotionIsGnomesAnimationsSwitch)
{
    // GSettings' in-memory store, so the test never touches the user's settings.
    qputenv("GSETTINGS_BACKEND", "memory");
    GSettings* settings = g_settings_new("org.gnome.desktop.interface");
    EXPECT_FALSE(DesktopLook::reduceMotion());
    // Read once and then followed: every frame of an orb asks.
    int changes = 0;
    DesktopLook::onMotionChange([&] { ++changes; });
    g_settings_set_boolean(settings, "enable-animations", FALSE);
    EXPECT_TRUE(waitFor([&] { return DesktopLook::reduceMotion(); }));
    EXPECT_EQ(changes, 1);
    g_settings_set_boolean(settings, "enable-animations", TRUE);
    EXPECT_TRUE(waitFor([&] { return !DesktopLook::reduceMotion(); }));
    EXPECT_EQ(changes, 2);
    g_object_unref(settings);
}

#include "DesktopLookTest.moc"
