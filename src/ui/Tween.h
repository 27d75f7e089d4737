#pragma once

#include "ui/Motion.h"

#include <QVariantAnimation>
#include <functional>

// A number that moves to a new target with one of the kit's animations and
// repaints its view on every step. Starts at rest on its first value.
class Tween : public QObject {
    Q_OBJECT
public:
    Tween(QWidget* view, qreal value);

    qreal value() const { return value_; }
    qreal target() const { return target_; }
    // Moves to `target` with `animation` (read at the call, so reduced motion
    // applies from the next change on).
    void to(qreal target, const Animation& animation);

private:
    QWidget* view_;
    QVariantAnimation anim_;
    qreal value_;
    qreal target_;
};
