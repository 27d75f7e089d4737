#pragma once

#include <QVariantAnimation>
#include <QWidget>

class MenuModel;
class PopoverView;
class QVBoxLayout;

// The popover view inside the panel's transparent margin. It drops into place
// from 8 points higher as the model's `shown` turns on (not under reduced
// motion) and is gone at once when it turns off.
class PopoverRoot : public QWidget {
    Q_OBJECT
public:
    static constexpr int margin = 22;

    explicit PopoverRoot(MenuModel& m, QWidget* parent = nullptr);

    PopoverView* view() const { return view_; }
    // 0 hidden … 1 in place.
    qreal appearance() const { return appearance_; }

private:
    void place(qreal t);

    MenuModel& m_;
    PopoverView* view_;
    QWidget* stage_;
    QVBoxLayout* stageLayout_;
    QVariantAnimation drop_;
    qreal appearance_ = 0;
};
