#include "menu/PopoverBits.h"

#include "ui/Motion.h"
#include "ui/Symbols.h"
#include "ui/TextRun.h"
#include "ui/Transition.h"

#include <QLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QTextLayout>
#include <cmath>

namespace PopoverBits {

namespace {

constexpr int wrapFlags = Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop;

QColor orClear(const Colour& colour, const Pal& p)
{
    return colour ? colour(p) : QColor(Qt::transparent);
}

} // namespace

Colour faded(Colour role, qreal opacity)
{
    return [role = std::move(role), opacity](const Pal& p) {
        QColor c = role(p);
        c.setAlphaF(float(c.alphaF() * opacity));
        return c;
    };
}

Text::Text(const QString& text, const QFont& font, Colour colour, Mode mode, QWidget* parent)
    : QWidget(parent)
    , text_(text)
    , font_(font)
    , colour_(std::move(colour))
    , mode_(mode)
{
    QSizePolicy policy(QSizePolicy::Preferred, mode == Mode::wrap ? QSizePolicy::Preferred : QSizePolicy::Fixed);
    policy.setHeightForWidth(mode == Mode::wrap);
    setSizePolicy(policy);
}

void Text::setText(const QString& text)
{
    if (text == text_)
        return;
    text_ = text;
    updateGeometry();
    update();
}

QSize Text::sizeHint() const
{
    return {int(std::ceil(TextRun::width(text_, font_))), int(std::ceil(TextRun::height(font_)))};
}

QSize Text::minimumSizeHint() const
{
    // Elided texts give way down to an ellipsis; wrapped ones to one word.
    return {int(std::ceil(TextRun::width(QStringLiteral("…"), font_))), int(std::ceil(TextRun::height(font_)))};
}

int Text::heightForWidth(int width) const
{
    if (mode_ != Mode::wrap)
        return sizeHint().height();
    const QRectF box = QFontMetricsF(font_).boundingRect(QRectF(0, 0, std::max(width, 1), 1e6), wrapFlags, text_);
    return int(std::ceil(std::max(box.height(), TextRun::height(font_))));
}

void Text::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::TextAntialiasing);
    const QColor colour = colour_(Pal::of(this));
    if (mode_ == Mode::wrap) {
        painter.setFont(font_);
        painter.setPen(colour);
        painter.drawText(QRectF(rect()), wrapFlags, text_);
        return;
    }
    TextRun::drawElided(painter, 0, (height() - TextRun::height(font_)) / 2, width(), text_, font_, colour);
}

Dot::Dot(qreal size, Colour colour, qreal cornerRadius, QWidget* parent)
    : QWidget(parent)
    , size_(size)
    , colour_(std::move(colour))
    , corner_(cornerRadius)
{
    const int side = int(std::ceil(size));
    setFixedSize(side, side);
}

void Dot::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour_(Pal::of(this)));
    const QRectF box(0, 0, size_, size_);
    if (corner_ < 0)
        painter.drawEllipse(box);
    else
        painter.drawRoundedRect(box, corner_, corner_);
}

Glyph::Glyph(const QString& symbol, qreal size, Colour colour, bool turned, QWidget* parent)
    : QWidget(parent)
    , symbol_(symbol)
    , size_(size)
    , colour_(std::move(colour))
    , turned_(turned)
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QSize Glyph::sizeHint() const
{
    const QFont f = Symbols::font(size_);
    const int side = int(std::ceil(std::max(TextRun::width(Symbols::glyph(symbol_), f), TextRun::height(f))));
    return {side, side};
}

void Glyph::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QFont f = Symbols::font(size_);
    const QString glyph = Symbols::glyph(symbol_);
    const QPointF centre = QRectF(rect()).center();
    if (turned_) {
        painter.translate(centre);
        painter.rotate(90);
        painter.translate(-centre);
    }
    TextRun::draw(painter, centre.x() - TextRun::width(glyph, f) / 2, centre.y() - TextRun::height(f) / 2, glyph, f,
                  colour_(Pal::of(this)));
}

Box::Box(Look look, QLayout* content, std::function<void()> action, QWidget* parent)
    : QAbstractButton(parent)
    , look_(std::move(look))
{
    setLayout(content);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    setFocusPolicy(Qt::NoFocus);
    inert_ = !action;
    if (action)
        connect(this, &QAbstractButton::clicked, this, [action = std::move(action)] { action(); });
}

void Box::mousePressEvent(QMouseEvent* event)
{
    // Inert: the click falls through to whatever holds it.
    if (inert_)
        event->ignore();
    else
        QAbstractButton::mousePressEvent(event);
}

void Box::mouseReleaseEvent(QMouseEvent* event)
{
    if (inert_)
        event->ignore();
    else
        QAbstractButton::mouseReleaseEvent(event);
}

void Box::setSelected(bool on)
{
    if (on == selected_)
        return;
    selected_ = on;
    update();
}

QSize Box::sizeHint() const
{
    return layout()->sizeHint();
}

QSize Box::minimumSizeHint() const
{
    return layout()->minimumSize();
}

bool Box::hasHeightForWidth() const
{
    return layout()->hasHeightForWidth();
}

int Box::heightForWidth(int width) const
{
    return layout()->hasHeightForWidth() ? layout()->totalHeightForWidth(width) : sizeHint().height();
}

void Box::paintEvent(QPaintEvent*)
{
    const Pal& p = Pal::of(this);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const Colour& fill = selected_ && look_.selectedFill ? look_.selectedFill : look_.fill;
    const Colour& outline = selected_ && look_.selectedOutline ? look_.selectedOutline : look_.outline;
    painter.setPen(Qt::NoPen);
    painter.setBrush(orClear(fill, p));
    const qreal r = look_.radius;
    painter.drawRoundedRect(QRectF(rect()), r, r);
    const QColor edge = orClear(outline, p);
    if (edge.alpha() > 0) {
        // Inside the edge, so none of the line is cut off.
        painter.setPen(QPen(edge, 1));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), r - 0.5, r - 0.5);
    }
}

Spinner::Spinner(Colour colour, QWidget* parent)
    : QWidget(parent)
    , colour_(std::move(colour))
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    timer_.setInterval(80);
    connect(&timer_, &QTimer::timeout, this, [this] {
        step_ = (step_ + 1) % 12;
        update();
    });
}

void Spinner::showEvent(QShowEvent*)
{
    if (!Motion::reduced())
        timer_.start();
}

void Spinner::hideEvent(QHideEvent*)
{
    timer_.stop();
}

void Spinner::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor c = colour_(Pal::of(this));
    const QRectF box = QRectF(rect()).adjusted(2, 2, -2, -2);
    QColor faint = c;
    faint.setAlphaF(0.25f);
    painter.setPen(QPen(faint, 2));
    painter.drawEllipse(box);
    painter.setPen(QPen(c, 2, Qt::SolidLine, Qt::RoundCap));
    painter.drawArc(box, (90 - step_ * 30) * 16, -100 * 16);
}

RecordMark::RecordMark(QWidget* parent)
    : QWidget(parent)
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void RecordMark::paintEvent(QPaintEvent*)
{
    const Pal& p = Pal::of(this);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPointF centre(8, 8);
    QColor ring = p.red;
    ring.setAlphaF(0.35f);
    // A ring of line width 4 around a 16-point circle: drawn on its middle line.
    painter.setPen(QPen(ring, 4));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(centre, 6, 6);
    painter.setPen(Qt::NoPen);
    painter.setBrush(p.red);
    painter.drawEllipse(centre, 5, 5);
}

Wide::Wide(QLayout* content, QWidget* parent)
    : QWidget(parent)
{
    setLayout(content);
}

QSize Wide::sizeHint() const
{
    return {QWIDGETSIZE_MAX / 4, layout()->sizeHint().height()};
}

} // namespace PopoverBits

void PopoverBits::pressShrinks(QAbstractButton* button)
{
    // The effect is there only while it moves: at rest the tile draws as
    // any widget does (an effect at rest still costs a pass, and misplaces
    // children in an offscreen render).
    QObject::connect(button, &QAbstractButton::pressed, button, [button] {
        if (Motion::reduced())
            return;
        auto* press = qobject_cast<PoseEffect*>(button->graphicsEffect());
        if (!press)
            press = Transition::moving(button, {1, 0.96, 0, 0}, PoseEffect::Anchor::centre);
        press->run(0, Motion::quick());
    });
    QObject::connect(button, &QAbstractButton::released, button, [button] {
        if (auto* press = qobject_cast<PoseEffect*>(button->graphicsEffect()))
            press->run(1, Motion::quick());
    });
}
