// The tray icon in a real tray host (trayer on the private desktop), clicked
// through XTest.
#include "../platform/DesktopHelpers.h"
#include "support/TraySlash.h"
#include "ui/StatusIcon.h"

#include <QSystemTrayIcon>
#include <gtest/gtest.h>

namespace {

TEST(TrayTest, TheIconShowsInTheTrayHostAndClicksReachTheHandler)
{
    ASSERT_TRUE(waitFor([] { return QSystemTrayIcon::isSystemTrayAvailable(); }, 20));
    ASSERT_FALSE(StatusIcon::darkTray()) << "the test desktop's palette is light";

    QSystemTrayIcon tray(StatusIcon::slash());
    tray.setToolTip(QStringLiteral("Zelvan"));
    QList<QSystemTrayIcon::ActivationReason> clicks;
    QObject::connect(&tray, &QSystemTrayIcon::activated, [&](QSystemTrayIcon::ActivationReason r) { clicks << r; });
    tray.show();

    // The slash on the real screen, in the tray host's panel. The icon's own
    // geometry() is no help: in an XEmbed tray it does not follow the embedding.
    QRect shown;
    ASSERT_TRUE(waitFor([&] { return !(shown = slashOnScreen()).isEmpty(); }, 30)) << "no slash on the screen";
    EXPECT_LE(shown.width(), 24);
    EXPECT_LE(shown.height(), 24);

    const QPoint centre = shown.center();
    ASSERT_TRUE(
        run(QStringLiteral("xdotool"),
            {"mousemove", QString::number(centre.x()), QString::number(centre.y()), "click", "1", "click", "3"}));
    ASSERT_TRUE(waitFor([&] { return clicks.size() >= 2; }, 30));
    EXPECT_EQ(clicks, (QList<QSystemTrayIcon::ActivationReason>{QSystemTrayIcon::Trigger, QSystemTrayIcon::Context}));
}

} // namespace
