#pragma once

#include <QColor>
#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QString>

// Single-line text measured and drawn the same way by every kit view: a line
// is as tall as the font's height, its baseline at the font's ascent.
namespace TextRun {

inline qreal width(const QString& text, const QFont& font)
{
    return QFontMetricsF(font).horizontalAdvance(text);
}

inline qreal height(const QFont& font)
{
    return QFontMetricsF(font).height();
}

// Draws `text` with its line's top-left at (x, top); returns its width.
inline qreal draw(QPainter& p, qreal x, qreal top, const QString& text, const QFont& font, const QColor& colour)
{
    p.setFont(font);
    p.setPen(colour);
    p.drawText(QPointF(x, top + QFontMetricsF(font).ascent()), text);
    return width(text, font);
}

// As draw, cut with an ellipsis to `maxWidth`.
inline void drawElided(QPainter& p, qreal x, qreal top, qreal maxWidth, const QString& text, const QFont& font,
                       const QColor& colour)
{
    draw(p, x, top, QFontMetricsF(font).elidedText(text, Qt::ElideRight, maxWidth), font, colour);
}

} // namespace TextRun
