#include "support/TraySlash.h"

#include <QColor>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <cstdlib>

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
