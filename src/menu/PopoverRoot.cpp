#include "menu/PopoverRoot.h"

#include "menu/MenuModel.h"
#include "menu/PopoverView.h"
#include "ui/Motion.h"

#include <QVBoxLayout>
#include <cmath>

namespace {

constexpr qreal lift = 8;

} // namespace

PopoverRoot::PopoverRoot(MenuModel& m, QWidget* parent)
    : QWidget(parent)
    , m_(m)
    , view_(new PopoverView(m, true))
    , stage_(new QWidget)
{
    // The stage holds the margin too, so the card's shadow is drawn inside it.
    stageLayout_ = new QVBoxLayout(stage_);
    stageLayout_->addWidget(view_, 0, Qt::AlignTop | Qt::AlignHCenter);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(stage_);

    connect(&drop_, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) { place(v.toReal()); });
    connect(&m_, &MenuModel::shownChanged, this, [this] {
        drop_.stop();
        if (!m_.shown()) {
            place(0);
            return;
        }
        const Animation a = Motion::spring();
        drop_.setStartValue(appearance_);
        drop_.setEndValue(1.0);
        drop_.setDuration(std::max(1, a.msecs()));
        drop_.setEasingCurve(a.curve());
        drop_.start();
    });
    place(m_.shown() ? 1 : 0);
}

void PopoverRoot::place(qreal t)
{
    appearance_ = t;
    stage_->setVisible(t > 0);
    // A spring may overshoot a little: the card then settles from below.
    const int up = Motion::reduced() ? 0 : int(std::lround(lift * (1 - t)));
    stageLayout_->setContentsMargins(margin, margin - up, margin, margin + up);
}
