#include "menu/PopoverRoot.h"

#include "menu/MenuModel.h"
#include "menu/PopoverView.h"
#include "ui/Motion.h"
#include "ui/Tween.h"

#include <QGraphicsEffect>
#include <QPainter>
#include <QVBoxLayout>

namespace {

// Draws the view at the tween's stage: faded in, grown from 0.96 about its top
// centre and dropped from 8 points above (neither under reduced motion).
class Appear : public QGraphicsEffect {
public:
    Appear(const Tween* tween, QObject* parent)
        : QGraphicsEffect(parent), tween_(tween)
    {
    }

protected:
    void draw(QPainter* painter) override
    {
        const qreal t = tween_->value();
        if (t >= 1) {
            drawSource(painter);
            return;
        }
        QPoint offset;
        const QPixmap pixmap = sourcePixmap(Qt::LogicalCoordinates, &offset);
        const bool still = Motion::reduced();
        const qreal scale = still ? 1 : 0.96 + 0.04 * t;
        const qreal lift = still ? 0 : -8 * (1 - t);
        const QRectF box = sourceBoundingRect(Qt::LogicalCoordinates);
        const QPointF top(box.center().x(), box.top());
        painter->save();
        painter->setOpacity(std::clamp(t, 0.0, 1.0));
        painter->translate(top.x(), top.y() + lift);
        painter->scale(scale, scale);
        painter->translate(-top);
        painter->drawPixmap(offset, pixmap);
        painter->restore();
    }

private:
    const Tween* tween_;
};

} // namespace

PopoverRoot::PopoverRoot(MenuModel& m, QWidget* parent)
    : QWidget(parent), m_(m), view_(new PopoverView(m, true))
{
    // The stage holds the margin too, so the card's shadow is drawn inside it.
    auto* stage = new QWidget;
    auto* inner = new QVBoxLayout(stage);
    inner->setContentsMargins(margin, margin, margin, margin);
    inner->addWidget(view_, 0, Qt::AlignTop | Qt::AlignHCenter);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(stage);
    appear_ = new Tween(stage, m.shown() ? 1 : 0);
    stage->setGraphicsEffect(new Appear(appear_, stage));
    connect(&m_, &MenuModel::shownChanged, this, [this] {
        if (m_.shown())
            appear_->to(1, Motion::spring());
        else
            appear_->to(0, Animation{Animation::Kind::easeOut, Motion::reduced() ? 0.1 : 0.12});
    });
}

qreal PopoverRoot::appearance() const
{
    return appear_->value();
}
