#include "ui/StatusIcon.h"

#include <QCursor>
#include <QSystemTrayIcon>

#include "ui/Scheme.h"

#include "core/Brand.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QIconEngine>
#include <QPainter>
#include <QPalette>
#include <cmath>

namespace StatusIcon {
namespace {

const QColor lightStroke(0x4a, 0x8a, 0x00);
const QColor dotRed = QColor::fromRgbF(1.0f, 0.27f, 0.23f);

// The mark's geometry is measured from the bottom left corner, y up; this turns
// the painter over once so the measures are used as they are.
void measureFromBottom(QPainter& p, qreal height)
{
    p.translate(0, height);
    p.scale(1, -1);
}

void strokeLine(QPainter& p, QPointF from, QPointF to, qreal width, const QColor& colour)
{
    p.setPen(QPen(colour, width, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(from, to);
}

// Draws the current look when the tray paints or asks for pixels.
class SlashEngine final : public QIconEngine {
public:
    SlashEngine(qreal size, bool recording, bool dot)
        : size_(size)
        , recording_(recording)
        , dot_(dot)
    {
    }

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode, QIcon::State) override
    {
        const qreal ratio = painter->device()->devicePixelRatioF();
        const qreal side = std::min(rect.width(), rect.height());
        QImage image = slashImage(size_, recording_, dot_, darkTray(), side * ratio / size_);
        image.setDevicePixelRatio(ratio);
        const QSizeF shown = image.deviceIndependentSize();
        painter->drawImage(QRectF(QRectF(rect).center() - QPointF(shown.width(), shown.height()) / 2, shown), image);
    }

    // `size` in device pixels.
    QPixmap pixmap(const QSize& size, QIcon::Mode, QIcon::State) override
    {
        const int side = std::min(size.width(), size.height());
        return QPixmap::fromImage(slashImage(size_, recording_, dot_, darkTray(), side / size_));
    }

    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override
    {
        const int side = qRound(size_);
        return {QSize(side, side), QSize(2 * side, 2 * side)};
    }

    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override { return size; }
    QIconEngine* clone() const override { return new SlashEngine(size_, recording_, dot_); }
    QString key() const override { return QStringLiteral("zelvan-slash"); }

private:
    qreal size_;
    bool recording_;
    bool dot_;
};

} // namespace

QIcon slash(qreal size, bool recording, bool dot)
{
    return QIcon(new SlashEngine(size, recording, dot));
}

QImage slashImage(qreal size, bool recording, bool dot, bool dark, qreal scale)
{
    const int pixels = std::max(1, qRound(size * scale));
    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(pixels / size, pixels / size);
    measureFromBottom(p, size);
    const qreal w = size, h = size;
    strokeLine(p, {w * 0.34, h * 0.16}, {w * 0.66, h * 0.84}, size * 0.15, dark ? Brand::lime() : lightStroke);
    if (recording) {
        const qreal d = size * 0.42;
        const QPointF centre(w / 2, h / 2);
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::black);
        // A transparent ring 1.5 points wide keeps the dot clear of the slash.
        p.setCompositionMode(QPainter::CompositionMode_Clear);
        p.drawEllipse(centre, (d + 3) / 2, (d + 3) / 2);
        p.setCompositionMode(QPainter::CompositionMode_SourceOver);
        if (dot) {
            p.setBrush(dotRed);
            p.drawEllipse(centre, d / 2, d / 2);
        }
    }
    p.end();
    return image;
}

bool darkTray()
{
    return Scheme::desktop() == ColorScheme::dark;
}

QByteArray appIcon(int pixels)
{
    const qreal n = pixels;
    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    if (pixels <= 0 || image.isNull())
        return {};
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    measureFromBottom(p, n);
    const qreal m = n * 0.09, s = n - 2 * m;
    p.setPen(Qt::NoPen);
    p.setBrush(Brand::bg());
    p.drawRoundedRect(QRectF(m, m, s, s), 0.22 * s, 0.22 * s);
    strokeLine(p, {0.38 * n, 0.24 * n}, {0.62 * n, 0.76 * n}, n * 0.11, Brand::lime());
    p.end();
    QByteArray png;
    QBuffer buffer(&png);
    if (!buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "PNG"))
        return {};
    return png;
}

} // namespace StatusIcon

QRect StatusIcon::popoverAnchor(const QSystemTrayIcon& tray)
{
    const QRect reported = tray.geometry();
    // The pointer is on the icon when it is clicked; a rectangle elsewhere is wrong.
    if (reported.isEmpty() || !reported.adjusted(-2, -2, 2, 2).contains(QCursor::pos()))
        return {};
    return reported;
}
