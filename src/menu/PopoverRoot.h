#pragma once

#include <QWidget>

class MenuModel;
class PopoverView;
class Tween;

// The popover view inside the panel's transparent margin, faded, scaled and
// lifted in as the model's `shown` turns on, and out as it turns off.
class PopoverRoot : public QWidget {
    Q_OBJECT
public:
    static constexpr int margin = 22;

    explicit PopoverRoot(MenuModel& m, QWidget* parent = nullptr);

    PopoverView* view() const { return view_; }
    // 0 hidden … 1 shown.
    qreal appearance() const;

private:
    MenuModel& m_;
    PopoverView* view_;
    Tween* appear_;
};
