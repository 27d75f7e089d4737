#include "ui/Kbd.h"

#include "platform/Wording.h"
#include "ui/Pal.h"
#include "ui/TextRun.h"
#include "ui/ZVFont.h"

#include <cmath>

namespace {

constexpr qreal padX = 5;
constexpr qreal padY = 1;
constexpr qreal radius = 4;

QFont keyFont()
{
    return ZVFont::mono(10, QFont::DemiBold);
}

} // namespace

Kbd::Kbd(const QString& text, QWidget* parent)
    : QWidget(parent)
    , text_(text)
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QString Kbd::shownText() const
{
    return Wording::shown(text_);
}

QSize Kbd::sizeHint() const
{
    return {int(std::ceil(TextRun::width(shownText(), keyFont()) + 2 * padX)),
            int(std::ceil(TextRun::height(keyFont()) + 2 * padY))};
}

void Kbd::paintEvent(QPaintEvent*)
{
    const Pal& p = Pal::of(this);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(p.bg3);
    painter.drawRoundedRect(rect(), radius, radius);
    // The 1-point outline lies inside the cap, so nothing is cut at its edges.
    painter.setPen(QPen(p.ln2, 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), radius - 0.5, radius - 0.5);
    const qreal textWidth = TextRun::width(shownText(), keyFont());
    TextRun::draw(painter, (width() - textWidth) / 2, (height() - TextRun::height(keyFont())) / 2, shownText(),
                  keyFont(), p.tx3);
}
