#include "ui/ZVChip.h"

#include "ui/Pal.h"
#include "ui/TextRun.h"
#include "ui/ZVFont.h"

#include <cmath>

namespace {

QFont chipFont()
{
    return ZVFont::tracked(ZVFont::mono(9.5, QFont::Bold), 0.9);
}

} // namespace

ZVChip::ZVChip(const QString& text, Tone tone, QWidget* parent)
    : QWidget(parent)
    , text_(text)
    , tone_(tone)
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QColor ZVChip::colour() const
{
    const Pal& p = Pal::of(this);
    switch (tone_) {
    case Tone::plain:
        return p.tx3;
    case Tone::accent:
        return p.ac;
    case Tone::red:
        return p.red;
    case Tone::amber:
        return p.amber;
    case Tone::silver:
        return p.silver;
    }
    return p.tx3;
}

QSize ZVChip::sizeHint() const
{
    return {int(std::ceil(TextRun::width(shownText(), chipFont()))), int(std::ceil(TextRun::height(chipFont())))};
}

void ZVChip::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    TextRun::draw(painter, 0, (height() - TextRun::height(chipFont())) / 2, shownText(), chipFont(), colour());
}
