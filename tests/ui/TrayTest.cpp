// The tray icon in a real tray host (trayer on the private desktop), clicked
// through XTest.
#include "../platform/DesktopHelpers.h"
#include "ui/StatusIcon.h"

#include <QGuiApplication>
#include <QScreen>
#include <QSystemTrayIcon>
#include <gtest/gtest.h>

namespace {

// Where the slash's stroke for a light tray (#4A8A00) shows on the lower half of
// the screen: the bounding box of its pixels, empty when there are too few.
QRect slashOnScreen()
{
    const QRect lower = QGuiApplication::primaryScreen()->geometry().adjusted(0, 540, 0, 0);
    const QImage shot =
        QGuiApplication::primaryScreen()->grabWindow(0, lower.x(), lower.y(), lower.width(), lower.height()).toImage();
    QRect box;
    int n = 0;
    for (int y = 0; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x) {
            const QColor c = shot.pixelColor(x, y);
            if (std::abs(c.red() - 0x4a) <= 8 && std::abs(c.green() - 0x8a) <= 8 && c.blue() <= 8) {
                box |= QRect(lower.x() + x, lower.y() + y, 1, 1);
                ++n;
            }
        }
    return n >= 20 ? box : QRect();
}

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
