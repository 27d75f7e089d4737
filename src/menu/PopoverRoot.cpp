#include "menu/PopoverRoot.h"

#include "menu/MenuModel.h"
#include "menu/PopoverView.h"
#include "ui/Motion.h"
#include "ui/Transition.h"

#include <QVBoxLayout>

namespace {

// Where the card comes from and goes to.
const Pose away{0, 0.96, 0, 8};

} // namespace

PopoverRoot::PopoverRoot(MenuModel& m, QWidget* parent)
    : QWidget(parent)
    , m_(m)
    , view_(new PopoverView(m, true))
    , stage_(new QWidget)
{
    // The stage holds the margin too, so the card's shadow is drawn inside it.
    auto* stageLayout = new QVBoxLayout(stage_);
    stageLayout->setContentsMargins(margin, margin, margin, margin);
    stageLayout->addWidget(view_, 0, Qt::AlignTop | Qt::AlignHCenter);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(stage_);

    shown_ = m_.shown();
    connect(&m_, &MenuModel::shownChanged, this, [this] {
        const bool reduced = Motion::reduced();
        // The effect is on only while the card moves; at rest it draws plainly.
        if (!pose_) {
            pose_ = Transition::moving(stage_, away, PoseEffect::Anchor::top);
            pose_->setProgress(shown_ ? 1 : 0);
        }
        shown_ = m_.shown();
        pose_->setFrom(reduced ? away.still() : away);
        if (shown_)
            pose_->run(1, Motion::spring());
        else
            pose_->run(0,
                       reduced ? Animation{.kind = Animation::Kind::easeOut, .duration = 0.1}
                               : Animation{.kind = Animation::Kind::easeIn, .duration = 0.12});
    });
}

qreal PopoverRoot::appearance() const
{
    if (pose_)
        return pose_->progress();
    return shown_ ? 1 : 0;
}
