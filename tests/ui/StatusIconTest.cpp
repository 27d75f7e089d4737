#include "core/Brand.h"
#include "ui/StatusIcon.h"

#include <QGuiApplication>
#include <QPalette>
#include <QPixmap>
#include <cmath>
#include <gtest/gtest.h>

namespace {

const QColor lightStroke(0x4a, 0x8a, 0x00), dotRed(255, 69, 59), clear(0, 0, 0, 0);

// The pixel at a point, alpha not premultiplied.
QColor at(const QImage& image, QPointF p)
{
    return image.convertToFormat(QImage::Format_ARGB32).pixelColor(int(std::floor(p.x())), int(std::floor(p.y())));
}

bool same(const QColor& a, const QColor& b)
{
    if (a.alpha() == 0 || b.alpha() == 0)
        return a.alpha() == b.alpha();
    return a.alpha() == b.alpha() && std::abs(a.red() - b.red()) <= 3 && std::abs(a.green() - b.green()) <= 3
        && std::abs(a.blue() - b.blue()) <= 3;
}

std::string str(const QColor& c)
{
    return c.name(QColor::HexArgb).toStdString();
}

// Points along the slash from the centre of a `pixels` square drawing of an
// 18-point icon, `points` towards its upper right end.
QPointF alongSlash(int pixels, double points)
{
    const double dx = 0.32, dy = -0.68, length = std::hypot(dx, dy); // y down
    const double r = points * pixels / 18.0;
    return {pixels / 2.0 + r * dx / length, pixels / 2.0 + r * dy / length};
}

TEST(StatusIconTest, SlashStatesAndLooks)
{
    // Dot radius 3.78 points, the clear ring out to 5.28, the slash's end at 6.76.
    struct Case {
        const char* name;
        bool recording, dot, dark;
        QColor centre, ring, stroke;
    };
    const QColor lime = Brand::lime();
    const Case cases[] = {
        {"idle, light tray", false, true, false, lightStroke, lightStroke, lightStroke},
        {"idle, dark tray", false, true, true, lime, lime, lime},
        {"idle without the dot", false, false, false, lightStroke, lightStroke, lightStroke},
        {"recording", true, true, false, dotRed, clear, lightStroke},
        {"recording, dark tray", true, true, true, dotRed, clear, lime},
        {"recording, dot blinked off", true, false, true, clear, clear, lime},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QImage image = StatusIcon::slashImage(18, c.recording, c.dot, c.dark, 4);
        ASSERT_EQ(image.size(), QSize(72, 72));
        EXPECT_PRED2(same, at(image, alongSlash(72, 0)), c.centre) << str(at(image, alongSlash(72, 0)));
        EXPECT_PRED2(same, at(image, alongSlash(72, 3.4)), c.recording ? c.centre : c.stroke);
        EXPECT_PRED2(same, at(image, alongSlash(72, -4.5)), c.ring);
        EXPECT_PRED2(same, at(image, alongSlash(72, 6.0)), c.stroke);
        EXPECT_PRED2(same, at(image, alongSlash(72, -6.0)), c.stroke);
        // It rises to the right: the lower right and the corners stay clear.
        EXPECT_PRED2(same, at(image, {0.62 * 72, 0.755 * 72}), clear);
        EXPECT_PRED2(same, at(image, {0.38 * 72, 0.245 * 72}), clear);
        EXPECT_PRED2(same, at(image, {0.5, 0.5}), clear);
    }
}

TEST(StatusIconTest, SlashWidthIsFifteenPercentOfTheSize)
{
    const QImage image = StatusIcon::slashImage(18, false, true, true, 10);              // 2.7 points = 27 pixels
    const double nx = 0.68 / std::hypot(0.32, 0.68), ny = 0.32 / std::hypot(0.32, 0.68); // across, y down
    double width = 0;
    for (double t = -40; t <= 40; t += 0.25)
        width += at(image, {90 + t * nx, 90 + t * ny}).alpha() >= 128 ? 0.25 : 0;
    EXPECT_NEAR(width, 27, 1.0);
}

TEST(StatusIconTest, TheTrayIconIsDrawnAtTheSizeAskedForInTheLookOfTheMoment)
{
    const QIcon icon = StatusIcon::slash(18, true, true);
    EXPECT_TRUE(icon.availableSizes().contains(QSize(18, 18)));
    EXPECT_TRUE(icon.availableSizes().contains(QSize(36, 36)));

    const QPalette before = QGuiApplication::palette();
    for (int pixels : {18, 22, 36}) {
        SCOPED_TRACE(pixels);
        QPalette palette = before;
        for (const bool dark : {false, true}) {
            palette.setColor(QPalette::Window, dark ? QColor(0x20, 0x20, 0x20) : QColor(0xef, 0xef, 0xef));
            QGuiApplication::setPalette(palette);
            ASSERT_EQ(StatusIcon::darkTray(), dark);
            const QImage image = icon.pixmap(QSize(pixels, pixels)).toImage();
            ASSERT_EQ(image.size(), QSize(pixels, pixels)) << "drawn at the size, not scaled from another";
            EXPECT_PRED2(same, at(image, alongSlash(pixels, 0)), dotRed);
            EXPECT_PRED2(same, at(image, alongSlash(pixels, 6.0)), dark ? Brand::lime() : lightStroke);
        }
    }
    QGuiApplication::setPalette(before);
}

TEST(StatusIconTest, AppIconIsTheSlashOnARoundedSquare)
{
    for (const int n : {1024, 256, 64}) {
        SCOPED_TRACE(n);
        const QImage image = QImage::fromData(StatusIcon::appIcon(n), "PNG").convertToFormat(QImage::Format_ARGB32);
        ASSERT_EQ(image.size(), QSize(n, n));
        const double m = 0.09 * n; // 92.16 at 1024
        const QColor bg = Brand::bg();

        // The square's edges start m pixels in; outside it all is transparent.
        for (const QPointF edge : {QPointF(m - 1, n / 2.0), QPointF(n - m + 1, n / 2.0), QPointF(n / 2.0, m - 1)})
            EXPECT_EQ(at(image, edge).alpha(), 0) << edge.x() << "," << edge.y();
        EXPECT_PRED2(same, at(image, {m + 1, n / 2.0}), bg);
        EXPECT_PRED2(same, at(image, {n / 2.0, n - m - 1.5}), bg);
        // Rounded corners: the square's own corner is cut off, a point well inside
        // the radius (0.22 of the side) is not.
        EXPECT_EQ(at(image, {m + 1, m + 1}).alpha(), 0);
        EXPECT_PRED2(same, at(image, {m + 0.12 * n, m + 0.12 * n}), bg);

        // The slash: lime through the centre, 0.11 n wide (112.64 at 1024), rising to the right.
        EXPECT_PRED2(same, at(image, {n / 2.0, n / 2.0}), Brand::lime());
        EXPECT_PRED2(same, at(image, {0.6 * n, 0.3 * n}), Brand::lime());
        EXPECT_PRED2(same, at(image, {0.6 * n, 0.7 * n}), bg);
        const double nx = 0.52 / std::hypot(0.24, 0.52), ny = 0.24 / std::hypot(0.24, 0.52);
        double width = 0;
        for (double t = -0.2 * n; t <= 0.2 * n; t += 0.25)
            width += at(image, {n / 2.0 + t * nx, n / 2.0 + t * ny}).green() > 0x80 ? 0.25 : 0;
        EXPECT_NEAR(width, 0.11 * n, 1.5);
    }
    EXPECT_TRUE(StatusIcon::appIcon(0).isEmpty());
}

} // namespace
