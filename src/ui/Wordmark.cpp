#include "ui/Wordmark.h"

#include "ui/Pal.h"
#include "ui/TextRun.h"
#include "ui/ZVFont.h"

#include <cmath>

namespace {

const QString before = QStringLiteral("ZEL");
const QString slash = QStringLiteral("/");
const QString after = QStringLiteral("VAN");

} // namespace

Wordmark::Wordmark(qreal size, QWidget* parent)
    : QWidget(parent)
    , size_(size)
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QString Wordmark::shownText() const
{
    return before + slash + after;
}

QColor Wordmark::slashColour() const
{
    const Pal& p = Pal::of(this);
    return p.dark ? p.acFill : p.ac;
}

QFont Wordmark::letterFont() const
{
    return ZVFont::tracked(ZVFont::sans(size_, QFont::DemiBold), tracking());
}

QFont Wordmark::slashFont() const
{
    return ZVFont::tracked(ZVFont::sans(size_, QFont::ExtraBold), tracking());
}

QSize Wordmark::sizeHint() const
{
    const qreal w = TextRun::width(before, letterFont()) + TextRun::width(slash, slashFont())
        + TextRun::width(after, letterFont());
    const qreal h = std::max(TextRun::height(letterFont()), TextRun::height(slashFont()));
    return {int(std::ceil(w)), int(std::ceil(h))};
}

void Wordmark::paintEvent(QPaintEvent*)
{
    const Pal& p = Pal::of(this);
    QPainter painter(this);
    // One baseline for all three runs.
    const QFontMetricsF m(letterFont());
    const qreal top = (height() - m.height()) / 2;
    qreal x = TextRun::draw(painter, 0, top, before, letterFont(), p.tx);
    x += TextRun::draw(painter, x, top, slash, slashFont(), slashColour());
    TextRun::draw(painter, x, top, after, letterFont(), p.tx);
}
