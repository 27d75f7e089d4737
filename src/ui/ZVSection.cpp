#include "ui/ZVSection.h"

#include "ui/Pal.h"
#include "ui/TextRun.h"
#include "ui/ZVFont.h"

#include <cmath>

namespace {

constexpr qreal spacing = 7;
const QString slashes = QStringLiteral("//");

QFont markFont()
{
    return ZVFont::mono(10.5, QFont::DemiBold);
}
QFont titleFont()
{
    return ZVFont::tracked(ZVFont::mono(10.5, QFont::DemiBold), 1.4);
}
QFont trailingFont()
{
    return ZVFont::mono(10.5, QFont::Medium);
}

} // namespace

ZVSection::ZVSection(const QString& title, std::optional<QString> trailing, QWidget* parent)
    : QWidget(parent)
    , title_(title)
    , trailing_(std::move(trailing))
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

QSize ZVSection::sizeHint() const
{
    // "//", title, trailing and the spacer, with the spacing between each.
    qreal w = TextRun::width(slashes, markFont()) + spacing + TextRun::width(shownTitle(), titleFont()) + spacing;
    if (trailing_)
        w += TextRun::width(*trailing_, trailingFont()) + spacing;
    const qreal h = std::max(TextRun::height(markFont()), TextRun::height(titleFont()));
    return {int(std::ceil(w)), int(std::ceil(h))};
}

void ZVSection::paintEvent(QPaintEvent*)
{
    const Pal& p = Pal::of(this);
    QPainter painter(this);
    painter.setRenderHint(QPainter::TextAntialiasing);
    const auto top = [this](const QFont& f) { return (height() - TextRun::height(f)) / 2; };
    qreal x = TextRun::draw(painter, 0, top(markFont()), slashes, markFont(), p.ac) + spacing;
    x += TextRun::draw(painter, x, top(titleFont()), shownTitle(), titleFont(), p.tx) + spacing;
    if (trailing_)
        TextRun::draw(painter, x, top(trailingFont()), *trailing_, trailingFont(), p.tx3);
}
