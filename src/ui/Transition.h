#pragma once

#include "ui/Motion.h"

#include <QGraphicsEffect>
#include <QPointer>
#include <QVariantAnimation>

class QWidget;

// How far a view is from rest on its way in or out: its opacity, a scale
// about an anchor and a slide upwards by a share of its own height.
struct Pose {
    qreal opacity = 1;
    qreal scale = 1;
    qreal lift = 0; // in the view's heights: 1 draws it one height higher
    qreal up = 0;   // and further up, in points

    bool operator==(const Pose&) const = default;
    // The same pose without movement, as reduced motion wants it: only the
    // opacity changes.
    Pose still() const { return {opacity, 1, 0, 0}; }
};

// Draws its widget in a pose between `from` (progress 0) and rest (1). The
// drawing is clipped to the widget, so a lifted view slides out of its own
// top edge rather than over its neighbours.
class PoseEffect : public QGraphicsEffect {
    Q_OBJECT
public:
    enum class Anchor { top, centre, topRight };

    PoseEffect(Pose from, Anchor anchor, QObject* parent = nullptr);

    Pose from() const { return from_; }
    void setFrom(Pose from);
    qreal progress() const { return progress_; }
    Pose pose() const;
    void setProgress(qreal t);

    // Runs the progress to `target` with `animation`.
    void run(qreal target, const Animation& animation);
    bool running() const { return anim_.state() == QAbstractAnimation::Running; }
    // The animation's length and curve, as last started.
    const QVariantAnimation& animation() const { return anim_; }

signals:
    void arrived();

protected:
    void draw(QPainter* painter) override;

private:
    Pose from_;
    Anchor anchor_;
    qreal progress_ = 1;
    QVariantAnimation anim_;
};

namespace Transition {

// Puts a pose effect on `view`, at rest until it is moved, for as long as it
// moves: each time it arrives at rest (progress 1) it takes itself off again,
// unless the view has another effect by then. `view` must carry no graphics
// effect of its own. Returns the effect.
PoseEffect* moving(QWidget* view, Pose from, PoseEffect::Anchor anchor);

// Brings `view` in from `from` to rest with `animation`, then takes the effect
// off again. Under reduced motion only the opacity moves. `view` must carry no
// graphics effect of its own. Returns the running effect.
PoseEffect* enter(QWidget* view, Pose from, const Animation& animation,
                  PoseEffect::Anchor anchor = PoseEffect::Anchor::top);

// The view's entry still on its way, or null.
PoseEffect* entering(const QWidget* view);

// `view` is about to go: a still copy of it stays where it was, on top of
// `over`, and fades out with `animation` (under reduced motion too: colour
// feedback stays), taking no clicks. Returns the copy, named "leaving",
// which deletes itself.
QWidget* leave(QWidget* view, QWidget* over, const Animation& animation);

} // namespace Transition
