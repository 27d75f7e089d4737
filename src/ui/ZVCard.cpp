#include "ui/ZVCard.h"

#include "ui/Pal.h"
#include "ui/ShadowEffect.h"

#include <QPainter>
#include <QRadialGradient>
#include <QVBoxLayout>

ZVCard::ZVCard(QWidget* content, qreal radius, bool glow, QWidget* parent)
    : QWidget(parent)
    , content_(content)
    , radius_(radius)
    , glow_(glow)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(content);

    auto* effect = new ShadowEffect(this);
    effect->clipRadius = radius;
    effect->outline = [this](const Pal& p) {
        QColor c = glow_ ? p.ac : p.ln2;
        if (glow_)
            c.setAlphaF(0.35f);
        return ShadowEffect::Outline{c, 1};
    };
    effect->shadow = [](const Pal& p) { return ShadowEffect::Shadow{p.shadow, 18, QPointF(0, 10)}; };
    setGraphicsEffect(effect);
}

ZVCard::~ZVCard() = default;

void ZVCard::setContentInside()
{
    inside_ = true;
    shadow_ = std::make_unique<KeptShadow>();
    setGraphicsEffect(nullptr);
    update();
}

void ZVCard::paintShadow(QPainter& parentPainter)
{
    if (!inside_ || isHidden())
        return;
    const Pal& p = Pal::of(this);
    const qreal r = radius_;
    shadow_->paint(parentPainter, QRectF(geometry()), {p.shadow, 18, QPointF(0, 10)}, p,
                   [r](QPainter& painter, const QRectF& box, const Pal&) {
                       painter.setPen(Qt::NoPen);
                       painter.setBrush(Qt::black);
                       painter.drawRoundedRect(box, r, r);
                   });
}

void ZVCard::paintEvent(QPaintEvent*)
{
    const Pal& p = Pal::of(this);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    const QRectF box = rect();
    painter.setBrush(p.bg);
    painter.drawRoundedRect(box, radius_, radius_);
    if (p.dark) {
        QRadialGradient light(box.topLeft(), 260);
        QColor from = p.acFill;
        from.setAlphaF(glow_ ? 0.1f : 0.05f);
        QColor to = p.acFill;
        to.setAlphaF(0);
        light.setColorAt(0, from);
        light.setColorAt(1, to);
        painter.setBrush(light);
        painter.drawRoundedRect(box, radius_, radius_);
    }
    if (inside_) {
        // What the effect's outline leaves after its clip: the inner half of a
        // line centred on the edge.
        QColor c = glow_ ? p.ac : p.ln2;
        if (glow_)
            c.setAlphaF(0.35f);
        painter.setPen(QPen(c, 0.5));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(box.adjusted(0.25, 0.25, -0.25, -0.25), radius_ - 0.25, radius_ - 0.25);
    }
}
