#include "ui/Tween.h"

#include <QWidget>

Tween::Tween(QWidget* view, qreal value)
    : QObject(view)
    , view_(view)
    , value_(value)
    , target_(value)
{
    connect(&anim_, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) {
        value_ = v.toReal();
        view_->update();
    });
}

void Tween::to(qreal target, const Animation& animation)
{
    if (target == target_)
        return;
    target_ = target;
    animation.play(anim_, value_, target);
}
