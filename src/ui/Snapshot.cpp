#include "ui/Snapshot.h"

#include "core/Log.h"
#include "ui/Scheme.h"

#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <QScreen>
#include <QGuiApplication>
#include <QVBoxLayout>
#include <QWidget>
#include <cmath>

namespace {

constexpr qreal scale = 2;

} // namespace

namespace Snapshot {

bool png(QWidget& view, bool dark, const QString& path, qreal padding)
{
    const QColor backdrop = dark ? QColor(0x2A, 0x2D, 0x33) : QColor(0xD9, 0xDC, 0xE1);
    QWidget* const parent = view.parentWidget();
    const QRect geometry = view.geometry();
    const bool hidden = view.isHidden();

    QWidget host;
    host.setAttribute(Qt::WA_DontShowOnScreen);
    Scheme::force(&host, dark ? ColorScheme::dark : ColorScheme::light);
    auto* layout = new QVBoxLayout(&host);
    const int pad = int(std::lround(padding));
    layout->setContentsMargins(pad, pad, pad, pad);
    layout->setSizeConstraint(QLayout::SetFixedSize); // the view at its ideal size
    layout->addWidget(&view);
    view.show();
    layout->activate();
    host.resize(host.sizeHint());
    layout->activate();

    QImage image(host.size() * scale, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(scale);
    // Text metrics follow the target's resolution; match the screen's, where the views measure.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const int dotsPerMeter = int(std::lround(screen->logicalDotsPerInchY() / 0.0254));
        image.setDotsPerMeterX(dotsPerMeter);
        image.setDotsPerMeterY(dotsPerMeter);
    }
    image.fill(backdrop);
    host.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);

    layout->removeWidget(&view);
    view.setParent(parent);
    view.setGeometry(geometry);
    view.setHidden(hidden);

    if (image.isNull()) {
        slog(QStringLiteral("snapshot: the view could not be drawn for %1").arg(path));
        return false;
    }
    image.setDevicePixelRatio(1);
    QImageWriter writer(path, "png");
    if (!writer.write(image.convertToFormat(QImage::Format_ARGB32))) {
        slog(QStringLiteral("snapshot: %1 not written: %2").arg(path, writer.errorString()));
        return false;
    }
    return true;
}

} // namespace Snapshot
