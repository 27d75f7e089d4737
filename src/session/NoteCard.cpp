#include "session/NoteCard.h"

#include "core/Brand.h"
#include "core/Strings.h"
#include "session/Frames.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QTextOption>

namespace {

// The layout is given with the origin at the bottom left and y growing upwards;
// QPainter's y grows downwards from the top.
double down(double up)
{
    return NoteCard::height - up;
}

QFont systemFont(int pixels, QFont::Weight weight)
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPixelSize(pixels);
    font.setWeight(weight);
    return font;
}

} // namespace

namespace NoteCard {

std::optional<QByteArray> jpeg(const QString& text)
{
    QImage canvas(width, height, QImage::Format_RGB32);
    if (canvas.isNull())
        return std::nullopt;
    {
        QPainter p(&canvas);
        if (!p.isActive())
            return std::nullopt;
        p.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
        p.fillRect(canvas.rect(), Brand::bg());

        p.setPen(QPen(Brand::lime(), 14, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(80, down(480)), QPointF(110, down(560)));

        // The label's line box sits on y 495: its baseline is one descent above that.
        const QFont label = systemFont(40, QFont::DemiBold);
        p.setFont(label);
        p.drawText(QPointF(140, down(495) - QFontMetricsF(label).descent()), QStringLiteral("Note"));

        // Body box x 80, y 60, 1040 × 390 (bottom-left origin); text starts at its
        // top, wraps at words (inside a word that is too long) and is cut at its edges.
        const QRectF body(80, down(60 + 390), 1040, 390);
        p.setFont(systemFont(graphemeCount(text) <= largeTextLimit ? 48 : 36, QFont::Medium));
        p.setPen(Qt::white);
        p.setClipRect(body);
        QTextOption option(Qt::AlignLeft | Qt::AlignTop);
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        p.drawText(body, text, option);
    }
    return Frames::jpeg(canvas, 0.8);
}

} // namespace NoteCard
