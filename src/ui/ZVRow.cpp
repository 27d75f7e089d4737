#include "ui/ZVRow.h"

#include "ui/Motion.h"
#include "ui/Pal.h"
#include "ui/Symbols.h"
#include "ui/TextRun.h"
#include "ui/Tween.h"
#include "ui/ZVFont.h"

#include <QEnterEvent>
#include <QPainter>
#include <cmath>

namespace {

constexpr qreal padX = 10;
constexpr qreal padY = 6;
constexpr qreal spacing = 10;
constexpr qreal symbolColumn = 16;
constexpr qreal minGap = 6; // between the texts and the trailing widget
constexpr qreal lineGap = 1;
constexpr qreal radius = 9;

QFont titleFont()
{
    return ZVFont::sans(13, QFont::Medium);
}
QFont detailFont()
{
    return ZVFont::mono(10.5);
}
QFont symbolFont()
{
    return Symbols::font(12);
}

// A spring may carry t a little past 1.
QColor mix(const QColor& from, const QColor& to, qreal t)
{
    t = std::clamp(t, 0.0, 1.0);
    const auto lerp = [t](float a, float b) { return a + (b - a) * float(t); };
    return QColor::fromRgbF(lerp(from.redF(), to.redF()), lerp(from.greenF(), to.greenF()),
                            lerp(from.blueF(), to.blueF()), lerp(from.alphaF(), to.alphaF()));
}

QColor clearOf(QColor c)
{
    c.setAlphaF(0);
    return c;
}

} // namespace

ZVRow::ZVRow(Content content, std::function<void()> action, QWidget* trailing, QWidget* parent)
    : QAbstractButton(parent)
    , content_(std::move(content))
    , trailing_(trailing)
    , hoverFade_(new Tween(this, 0))
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    if (trailing) {
        trailing->setParent(this);
        trailing->show();
    }
    connect(this, &QAbstractButton::clicked, this, [this] {
        if (action_)
            action_();
    });
    setAction(std::move(action));
}

void ZVRow::setContent(Content content)
{
    content_ = std::move(content);
    updateGeometry();
    update();
}

void ZVRow::setAction(std::function<void()> action)
{
    action_ = std::move(action);
    setEnabled(bool(action_));
    update();
}

QColor ZVRow::highlight() const
{
    const Pal& p = Pal::of(this);
    if (content_.selected)
        return p.bg3;
    return mix(clearOf(p.bg2), p.bg2, isEnabled() ? hoverFade_->value() : 0);
}

QColor ZVRow::symbolColour() const
{
    const Pal& p = Pal::of(this);
    return content_.selected ? p.ac : mix(p.tx3, p.ac, hoverFade_->value());
}

QColor ZVRow::titleColour() const
{
    const Pal& p = Pal::of(this);
    return content_.dim ? p.tx3 : p.tx;
}

qreal ZVRow::textHeight() const
{
    qreal h = TextRun::height(titleFont());
    if (content_.detail)
        h += lineGap + TextRun::height(detailFont());
    return h;
}

QSize ZVRow::sizeHint() const
{
    qreal w = 2 * padX;
    if (content_.symbol)
        w += symbolColumn + spacing;
    qreal texts = TextRun::width(content_.title, titleFont());
    if (content_.detail)
        texts = std::max(texts, TextRun::width(*content_.detail, detailFont()));
    w += texts + spacing + minGap;
    qreal h = textHeight();
    if (content_.symbol)
        h = std::max(h, TextRun::height(symbolFont()));
    if (trailing_) {
        const QSize t = trailing_->sizeHint();
        w += spacing + t.width();
        h = std::max(h, qreal(t.height()));
    }
    return {int(std::ceil(w)), int(std::ceil(h + 2 * padY))};
}

QSize ZVRow::minimumSizeHint() const
{
    // The texts give way first; the trailing widget keeps its width.
    const int trailing = trailing_ ? trailing_->sizeHint().width() + int(spacing) : 0;
    const int symbol = content_.symbol ? int(symbolColumn + spacing) : 0;
    return {int(2 * padX + symbol + spacing + minGap) + trailing, sizeHint().height()};
}

void ZVRow::resizeEvent(QResizeEvent*)
{
    if (!trailing_)
        return;
    const QSize t = trailing_->sizeHint();
    trailing_->setGeometry(int(width() - padX - t.width()), (height() - t.height()) / 2, t.width(), t.height());
}

void ZVRow::enterEvent(QEnterEvent*)
{
    setHover(true);
}

void ZVRow::leaveEvent(QEvent*)
{
    setHover(false);
}

void ZVRow::setHover(bool on)
{
    hover_ = on;
    hoverFade_->to(on ? 1 : 0, Motion::quick());
}

void ZVRow::paintEvent(QPaintEvent*)
{
    const Pal& p = Pal::of(this);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF box = rect();
    painter.setPen(Qt::NoPen);
    painter.setBrush(highlight());
    painter.drawRoundedRect(box, radius, radius);
    if (content_.selected) {
        QColor edge = p.ac;
        edge.setAlphaF(0.45f);
        painter.setPen(QPen(edge, 1));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(box.adjusted(0.5, 0.5, -0.5, -0.5), radius - 0.5, radius - 0.5);
    }

    qreal x = padX;
    if (content_.symbol) {
        const QFont f = symbolFont();
        const QString glyph = Symbols::glyph(*content_.symbol);
        TextRun::draw(painter, x + (symbolColumn - TextRun::width(glyph, f)) / 2, (height() - TextRun::height(f)) / 2,
                      glyph, f, symbolColour());
        x += symbolColumn + spacing;
    }
    qreal right = width() - padX;
    if (trailing_)
        right -= trailing_->sizeHint().width() + spacing;
    const qreal room = std::max(0.0, right - minGap - spacing - x);
    qreal top = (height() - textHeight()) / 2;
    TextRun::drawElided(painter, x, top, room, content_.title, titleFont(), titleColour());
    if (content_.detail) {
        top += TextRun::height(titleFont()) + lineGap;
        TextRun::drawElided(painter, x, top, room, *content_.detail, detailFont(), p.tx3);
    }
}
