#include "ui/FeedRow.h"

#include "ui/Pal.h"
#include "ui/PalText.h"
#include "ui/TextRun.h"
#include "ui/ZVFont.h"

#include <QPainter>
#include <cmath>

namespace {

constexpr qreal dotSize = 5;
constexpr qreal spacing = 7;

QFont labelFont()
{
    return ZVFont::tracked(ZVFont::mono(9.5, QFont::Bold), 0.8);
}
QFont textFont()
{
    return ZVFont::sans(12);
}

} // namespace

FeedRow::FeedRow(const FeedItem& item, qreal opacity, QWidget* parent)
    : QWidget(parent)
    , item_(item)
    , opacity_(opacity)
{
    setFixedWidth(width);
}

void FeedRow::setOpacity(qreal opacity)
{
    if (opacity == opacity_)
        return;
    opacity_ = opacity;
    update();
}

QString FeedRow::shownText() const
{
    if (item_.kind == FeedItem::Kind::heard)
        return QStringLiteral("“") + item_.text + QStringLiteral("”");
    return item_.text;
}

qreal FeedRow::textLeft() const
{
    return dotSize + spacing + TextRun::width(label(), labelFont()) + spacing;
}

QStringList FeedRow::lines() const
{
    return PalText::breakLines(shownText(), textFont(), width - textLeft(), 2);
}

QColor FeedRow::colour() const
{
    const Pal& p = Pal::of(this);
    switch (item_.kind) {
    case FeedItem::Kind::heard:
    case FeedItem::Kind::noted:
        return p.ac;
    case FeedItem::Kind::tip:
    case FeedItem::Kind::card:
        return p.amber;
    default:
        return p.silver;
    }
}

QSize FeedRow::sizeHint() const
{
    const qreal lineHeight = TextRun::height(textFont());
    return {width, int(std::ceil(std::max<qsizetype>(1, lines().size()) * lineHeight))};
}

void FeedRow::paintEvent(QPaintEvent*)
{
    const Pal& p = Pal::of(this);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setOpacity(opacity_);
    const QColor c = colour();
    // Everything sits on the first line's baseline.
    const qreal baseline = QFontMetricsF(textFont()).ascent();
    const qreal labelTop = baseline - QFontMetricsF(labelFont()).ascent();
    painter.setPen(Qt::NoPen);
    painter.setBrush(c);
    painter.drawEllipse(QRectF(0, baseline - dotSize - 1, dotSize, dotSize));
    TextRun::draw(painter, dotSize + spacing, labelTop, label(), labelFont(), c);
    qreal top = 0;
    for (const QString& line : lines()) {
        TextRun::draw(painter, textLeft(), top, line, textFont(), p.tx);
        top += TextRun::height(textFont());
    }
}
