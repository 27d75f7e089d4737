#pragma once

#include "ui/Transition.h"

#include <QPointer>
#include <QWidget>

class MenuModel;
class PopoverView;

// The popover view inside the panel's transparent margin. As the model's
// `shown` turns on it springs into place, fading in from 96 % of its size and
// 8 points higher; as it turns off it goes the same way back with a short
// ease. Under reduced motion only its opacity changes.
class PopoverRoot : public QWidget {
    Q_OBJECT
public:
    static constexpr int margin = 22;

    explicit PopoverRoot(MenuModel& m, QWidget* parent = nullptr);

    PopoverView* view() const { return view_; }
    // 0 hidden … 1 in place.
    qreal appearance() const;
    // The card's way in or out while it moves, else null.
    PoseEffect* pose() const { return pose_; }

private:
    MenuModel& m_;
    PopoverView* view_;
    QWidget* stage_;
    QPointer<PoseEffect> pose_;
    bool shown_ = false;
};
