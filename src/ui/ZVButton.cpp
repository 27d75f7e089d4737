#include "ui/ZVButton.h"

#include "ui/Motion.h"
#include "ui/Pal.h"
#include "ui/Symbols.h"
#include "ui/TextRun.h"
#include "ui/Tween.h"
#include "ui/ZVFont.h"

#include <QPainter>
#include <cmath>

namespace {

constexpr qreal padX = 12;
constexpr qreal radius = 8;
constexpr qreal symbolGap = 5;
constexpr qreal pressedScale = 0.97;
constexpr float pressedBrightness = -0.06f;

QFont labelFont()
{
    return ZVFont::sans(12.5, QFont::DemiBold);
}
QFont symbolFont()
{
    return Symbols::font(12.5);
}

QColor withAlpha(QColor c, float alpha)
{
    c.setAlphaF(alpha);
    return c;
}

QColor brighter(const QColor& c, float shift)
{
    return QColor::fromRgbF(std::clamp(c.redF() + shift, 0.0f, 1.0f), std::clamp(c.greenF() + shift, 0.0f, 1.0f),
                            std::clamp(c.blueF() + shift, 0.0f, 1.0f), c.alphaF());
}

} // namespace

ZVButton::ZVButton(const QString& text, QWidget* parent)
    : ZVButton(text, Look{}, parent)
{
}

ZVButton::ZVButton(const QString& text, Look look, QWidget* parent)
    : QAbstractButton(parent)
    , look_(look)
    , press_(new Tween(this, 0))
{
    setText(text);
    applyLook();
}

void ZVButton::setLook(const Look& look)
{
    if (look == look_)
        return;
    look_ = look;
    applyLook();
}

void ZVButton::applyLook()
{
    // Not full: the button keeps its ideal width and never shortens its label.
    setSizePolicy(look_.full ? QSizePolicy::Expanding : QSizePolicy::Fixed, QSizePolicy::Fixed);
    updateGeometry();
    update();
}

void ZVButton::setSymbol(const QString& name)
{
    symbol_ = name;
    updateGeometry();
    update();
}

void ZVButton::setLabel(QWidget* label)
{
    delete label_;
    label_ = label;
    label->setParent(this);
    label->setAttribute(Qt::WA_TransparentForMouseEvents);
    label->show();
    updateGeometry();
    update();
}

QColor ZVButton::foreground() const
{
    const Pal& p = Pal::of(this);
    switch (look_.kind) {
    case Kind::primary:
        return p.acInk;
    case Kind::ghost:
        return p.tx;
    case Kind::quiet:
        return p.tx2;
    case Kind::danger:
        return QColor(Qt::white);
    }
    return p.tx;
}

QColor ZVButton::fill() const
{
    const Pal& p = Pal::of(this);
    switch (look_.kind) {
    case Kind::primary:
        return p.acFill;
    case Kind::ghost:
        return p.bg3;
    case Kind::quiet:
        return Qt::transparent;
    case Kind::danger:
        return p.red;
    }
    return Qt::transparent;
}

QColor ZVButton::outline() const
{
    const Pal& p = Pal::of(this);
    if (look_.selected)
        return p.ac;
    switch (look_.kind) {
    case Kind::primary:
        return p.dark ? withAlpha(p.acFill, 0) : withAlpha(p.ac, 0.5f);
    case Kind::ghost:
        return p.ln2;
    case Kind::quiet:
    case Kind::danger:
        return Qt::transparent;
    }
    return Qt::transparent;
}

QSizeF ZVButton::labelSize() const
{
    if (label_)
        return label_->sizeHint();
    qreal w = 0;
    qreal h = 0;
    if (!symbol_.isEmpty()) {
        w += TextRun::width(Symbols::glyph(symbol_), symbolFont());
        h = TextRun::height(symbolFont());
    }
    if (!text().isEmpty()) {
        w += (w > 0 ? symbolGap : 0) + TextRun::width(text(), labelFont());
        h = std::max(h, TextRun::height(labelFont()));
    }
    return {w, h};
}

QSize ZVButton::sizeHint() const
{
    const QSizeF label = labelSize();
    return {int(std::ceil(label.width() + 2 * padX)), int(std::ceil(std::max(look_.height, label.height())))};
}

QSize ZVButton::minimumSizeHint() const
{
    const QSize ideal = sizeHint();
    return look_.full ? QSize(int(2 * padX), ideal.height()) : ideal;
}

void ZVButton::resizeEvent(QResizeEvent*)
{
    if (!label_)
        return;
    const QSize s = label_->sizeHint().boundedTo(size() - QSize(int(2 * padX), 0));
    label_->setGeometry(QRect(QPoint((width() - s.width()) / 2, (height() - s.height()) / 2), s));
}

void ZVButton::paintEvent(QPaintEvent*)
{
    // The pressed state reaches the look here, as every repaint follows a change of it.
    const qreal pressedTarget = isDown() ? 1 : 0;
    if (press_->target() != pressedTarget) {
        shrinks_ = !Motion::reduced();
        press_->to(pressedTarget, Motion::quick());
    }
    const qreal t = press_->value();

    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPointF centre = QRectF(rect()).center();
    const qreal scale = shrinks_ ? 1 - (1 - pressedScale) * t : 1;
    painter.translate(centre);
    painter.scale(scale, scale);
    painter.translate(-centre);

    const QRectF box = rect();
    painter.setPen(Qt::NoPen);
    painter.setBrush(brighter(fill(), pressedBrightness * float(t)));
    painter.drawRoundedRect(box, radius, radius);
    // The outline lies inside the edge so none of it is cut off.
    const qreal w = outlineWidth();
    painter.setPen(QPen(outline(), w));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(box.adjusted(w / 2, w / 2, -w / 2, -w / 2), radius - w / 2, radius - w / 2);

    if (label_)
        return;
    const QSizeF label = labelSize();
    const qreal room = width() - 2 * padX;
    qreal x = padX + (look_.leading ? 0.0 : std::max(0.0, (room - label.width()) / 2));
    const QColor ink = foreground();
    if (!symbol_.isEmpty()) {
        const QFont f = symbolFont();
        x += TextRun::draw(painter, x, (height() - TextRun::height(f)) / 2, Symbols::glyph(symbol_), f, ink);
        if (!text().isEmpty())
            x += symbolGap;
    }
    if (!text().isEmpty()) {
        const QFont f = labelFont();
        TextRun::drawElided(painter, x, (height() - TextRun::height(f)) / 2, width() - padX - x, text(), f, ink);
    }
}
