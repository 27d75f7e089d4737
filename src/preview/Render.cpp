#include "preview/Render.h"

#include "core/Log.h"
#include "ui/Scheme.h"

#include <QGuiApplication>
#include <QImage>
#include <QImageWriter>
#include <QLayout>
#include <QScreen>
#include <QWidget>
#include <cmath>

namespace Render {

bool png(QWidget& view, const QString& path, bool dark)
{
    view.setAttribute(Qt::WA_DontShowOnScreen);
    Scheme::force(&view, dark ? ColorScheme::dark : ColorScheme::light);
    view.ensurePolished();
    if (view.layout())
        view.layout()->activate();
    QSize size = view.sizeHint();
    if (!size.isValid() || size.isEmpty())
        size = view.minimumSizeHint();
    view.resize(size);
    view.show();
    if (view.layout())
        view.layout()->activate();

    QImage image(view.size() * scale, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull()) {
        slog(QStringLiteral("previews: %1 could not be drawn").arg(path));
        view.hide();
        return false;
    }
    image.setDevicePixelRatio(scale);
    // Text is measured at the screen's resolution; draw at the same one.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const int dotsPerMeter = int(std::lround(screen->logicalDotsPerInchY() / 0.0254));
        image.setDotsPerMeterX(dotsPerMeter);
        image.setDotsPerMeterY(dotsPerMeter);
    }
    image.fill(dark ? QColor(Qt::transparent) : QColor(Qt::white));
    view.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    view.hide();

    image.setDevicePixelRatio(1);
    QImageWriter writer(path, "png");
    if (!writer.write(image.convertToFormat(QImage::Format_ARGB32))) {
        slog(QStringLiteral("previews: %1 not written: %2").arg(path, writer.errorString()));
        return false;
    }
    return true;
}

} // namespace Render
