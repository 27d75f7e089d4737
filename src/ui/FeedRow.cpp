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

namespace {

QStaticText staticText(const QString& text)
{
    QStaticText out(text);
    out.setTextFormat(Qt::PlainText);
    out.setPerformanceHint(QStaticText::AggressiveCaching);
    return out;
}

} // namespace

const FeedRow::Shaped& FeedRow::shaped() const
{
    if (!shaped_) {
        Shaped s;
        s.textLeft = dotSize + spacing + TextRun::width(label(), labelFont()) + spacing;
        s.lines = PalText::breakLines(shownText(), textFont(), width - s.textLeft, 2);
        s.label = staticText(label());
        for (const QString& line : s.lines)
            s.texts.push_back(staticText(line));
        shaped_ = std::move(s);
    }
    return *shaped_;
}

qreal FeedRow::textLeft() const
{
    return shaped().textLeft;
}

QStringList FeedRow::lines() const
{
    return shaped().lines;
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
    const Shaped& s = shaped();
    // A static text's position is its line's top, as TextRun draws.
    painter.setFont(labelFont());
    painter.setPen(c);
    painter.drawStaticText(QPointF(dotSize + spacing, labelTop), s.label);
    painter.setFont(textFont());
    painter.setPen(p.tx);
    qreal top = 0;
    for (const QStaticText& line : s.texts) {
        painter.drawStaticText(QPointF(s.textLeft, top), line);
        top += TextRun::height(textFont());
    }
}
