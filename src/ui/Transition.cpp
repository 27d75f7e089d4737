#include "ui/Transition.h"

#include <QPainter>
#include <QWidget>

PoseEffect::PoseEffect(Pose from, Anchor anchor, QObject* parent)
    : QGraphicsEffect(parent)
    , from_(from)
    , anchor_(anchor)
{
    connect(&anim_, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) { setProgress(v.toReal()); });
    connect(&anim_, &QVariantAnimation::finished, this, &PoseEffect::arrived);
}

Pose PoseEffect::pose() const
{
    const qreal k = 1 - progress_;
    return {1 + (from_.opacity - 1) * k, 1 + (from_.scale - 1) * k, from_.lift * k, from_.up * k};
}

void PoseEffect::setFrom(Pose from)
{
    from_ = from;
    update();
}

void PoseEffect::setProgress(qreal t)
{
    if (t == progress_)
        return;
    progress_ = t;
    update();
}

void PoseEffect::run(qreal target, const Animation& animation)
{
    animation.play(anim_, progress_, target);
}

void PoseEffect::draw(QPainter* painter)
{
    const Pose p = pose();
    if (p == Pose{}) {
        drawSource(painter);
        return;
    }
    QPoint offset;
    const QPixmap pixmap = sourcePixmap(Qt::LogicalCoordinates, &offset, QGraphicsEffect::NoPad);
    if (pixmap.isNull())
        return;
    const QRectF box = sourceBoundingRect(Qt::LogicalCoordinates);
    QPointF at;
    switch (anchor_) {
    case Anchor::top:
        at = {box.center().x(), box.top()};
        break;
    case Anchor::centre:
        at = box.center();
        break;
    case Anchor::topRight:
        at = box.topRight();
        break;
    }
    painter->save();
    painter->setClipRect(box, Qt::IntersectClip);
    // A spring may overshoot: keep the opacity within its range.
    painter->setOpacity(painter->opacity() * std::clamp(p.opacity, 0.0, 1.0));
    painter->translate(0, -p.lift * box.height() - p.up);
    painter->translate(at);
    painter->scale(p.scale, p.scale);
    painter->translate(-at);
    painter->drawPixmap(offset, pixmap);
    painter->restore();
}

namespace {

// A picture of a view that has gone, fading out where it stood.
class Ghost : public QWidget {
public:
    Ghost(const QPixmap& picture, QWidget* over)
        : QWidget(over)
        , picture_(picture)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setObjectName(QStringLiteral("leaving"));
        connect(&fade_, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) {
            opacity_ = v.toReal();
            update();
        });
        connect(&fade_, &QVariantAnimation::finished, this, &QObject::deleteLater);
    }
    void run(const Animation& animation)
    {
        fade_.setStartValue(1.0);
        fade_.setEndValue(0.0);
        fade_.setDuration(std::max(1, animation.msecs()));
        // A spring would overshoot below nothing: fade along its length, easing out.
        fade_.setEasingCurve(QEasingCurve::OutCubic);
        fade_.start();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setOpacity(std::clamp(opacity_, 0.0, 1.0));
        painter.drawPixmap(0, 0, picture_);
    }

private:
    QPixmap picture_;
    QVariantAnimation fade_;
    qreal opacity_ = 1;
};

} // namespace

namespace Transition {

PoseEffect* moving(QWidget* view, Pose from, PoseEffect::Anchor anchor)
{
    auto* effect = new PoseEffect(from, anchor);
    view->setGraphicsEffect(effect);
    QObject::connect(
        effect, &PoseEffect::arrived, view,
        [view, effect] {
            // At rest it draws nothing of its own, and an effect left on a view
            // disturbs its children's drawing. The view's effect is compared
            // first: only while it is still this one is it sure to be alive.
            if (view->graphicsEffect() == effect && effect->progress() >= 1)
                view->setGraphicsEffect(nullptr);
        },
        Qt::QueuedConnection);
    return effect;
}

PoseEffect* enter(QWidget* view, Pose from, const Animation& animation, PoseEffect::Anchor anchor)
{
    PoseEffect* effect = moving(view, Motion::reduced() ? from.still() : from, anchor);
    effect->setProgress(0);
    effect->run(1, animation);
    return effect;
}

PoseEffect* entering(const QWidget* view)
{
    return view ? qobject_cast<PoseEffect*>(view->graphicsEffect()) : nullptr;
}

} // namespace Transition

QWidget* Transition::leave(QWidget* view, QWidget* over, const Animation& animation)
{
    if (!view || !over || !view->isVisibleTo(over) || view->size().isEmpty())
        return nullptr;
    auto* ghost = new Ghost(view->grab(), over);
    ghost->setGeometry(QRect(view->mapTo(over, QPoint(0, 0)), view->size()));
    ghost->show();
    ghost->raise();
    ghost->run(animation);
    return ghost;
}
