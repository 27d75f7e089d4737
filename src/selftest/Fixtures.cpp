#include "selftest/Fixtures.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QPainter>
#include <cmath>

namespace Fixtures {

PcmBuffer tone(double sampleRate, int channels, double seconds, double freq, float amp,
               const std::function<bool(double)>& on, double startAt)
{
    const auto frames = static_cast<uint32_t>(sampleRate * seconds);
    PcmBuffer b;
    b.sampleRate = sampleRate;
    b.channels = channels;
    b.samples.resize(size_t(frames) * size_t(channels));
    for (uint32_t i = 0; i < frames; ++i) {
        const double t = double(i) / sampleRate + startAt;
        const float v = on(t) ? float(std::sin(freq * 2 * M_PI * t)) * amp : 0.0f;
        for (int c = 0; c < channels; ++c)
            b.samples[size_t(i) * size_t(channels) + size_t(c)] = v;
    }
    return b;
}

QImage image(bool box)
{
    QImage img(640, 360, QImage::Format_RGB32);
    img.fill(QColor::fromRgbF(0.2f, 0.2f, 0.25f));
    if (box) {
        QPainter p(&img);
        p.fillRect(QRectF(40, 360 - 40 - 160, 300, 160), QColor::fromRgbF(0.95f, 0.95f, 0.95f));
    }
    return img;
}

void drawText(QImage& image, const QString& text, int x, int y, int pixelSize, bool bold, const QColor& colour)
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    QPainter p(&image);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setFont(font);
    p.setPen(colour);
    const QFontMetrics m(font);
    // The text's box sits on (x, y): its descent below the point's line, as
    // drawing from a bottom-left origin places it.
    p.drawText(QPointF(x, image.height() - y - m.descent()), text);
}

QImage slide(const QString& title, const QStringList& lines)
{
    QImage img(1440, 900, QImage::Format_RGB32);
    img.fill(Qt::white);
    drawText(img, QStringLiteral("Chrome  File  Edit  View  History  Fri Oct 30 14:05"), 20, 860, 22);
    drawText(img, title, 80, 680, 72, true);
    for (int k = 0; k < lines.size(); ++k)
        drawText(img, lines[k], 80, 560 - 60 * k, 34, false, QColor::fromRgbF(1.0 / 3, 1.0 / 3, 1.0 / 3));
    return img;
}

} // namespace Fixtures
