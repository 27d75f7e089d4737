#pragma once

#include "menu/MenuState.h"
#include "menu/PopoverBits.h"

#include "ui/ZVCard.h"

#include <QPointer>
#include <QWidget>
#include <functional>
#include <optional>
#include <vector>

class MenuModel;
class QScrollArea;
class QVBoxLayout;

// The popover's card: it draws the model's state, highlights the element whose
// action id is selected, and sends every click to the model. Each clickable
// element carries its action id as its objectName. With `scroll`, the content
// scrolls once taller than maxHeight (or the room the screen has) above a
// footer that stays in view, and its natural height is written into the model;
// without, the card takes the content's natural height. The card's
// shadow spills outside the view: leave room around it.
class PopoverView : public ZVCard {
    Q_OBJECT
public:
    static constexpr int cardWidth = 348;
    static constexpr int maxHeight = 680;

    explicit PopoverView(MenuModel& m, bool scroll = true, QWidget* parent = nullptr);

    // The content's natural height (paddings included) at the card's width.
    int measuredHeight() const;
    // Of that, the footer's, which stays under the scrolled part; 0 without scrolling.
    int footerHeight() const;
    // The tallest the card may be where it is shown (the screen's room), at most
    // maxHeight; the content scrolls inside it.
    void setRoom(int height);
    int room() const { return room_; }
    void scrollToTop();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    PopoverView(MenuModel& m, bool scroll, QWidget* inside, QWidget* parent);

    struct Mark {
        QString id;
        QPointer<QWidget> widget;
        std::function<void(bool)> set;
    };

    void rebuild();
    // Shows the model's state in the widgets already built when that is enough
    // (nothing changed, or only the recording's figures); false when not.
    bool updateInPlace();
    void measure();
    void applyHeight();
    void showSelection();
    // A click's effect: the action of `id` with or without closing; nothing for no id.
    void run(const std::optional<QString>& id, bool keepOpen = false);
    bool isSelected(const std::optional<QString>& id) const;
    void mark(const std::optional<QString>& id, QWidget* widget, std::function<void(bool)> set);

    QWidget* header();
    QWidget* recordBlock();
    QWidget* openBoard(const QString& id);
    QWidget* quickRow();
    QWidget* attention();
    QWidget* upNext();
    QWidget* todoRow(const MenuState::TodoRow& row);
    QWidget* workday();
    QWidget* projects();
    QWidget* footer();

    MenuModel& m_;
    bool scroll_;
    QScrollArea* scrollArea_ = nullptr;
    QWidget* holder_ = nullptr;
    QVBoxLayout* holderLayout_ = nullptr;
    QPointer<QWidget> content_;
    QWidget* footerSlot_ = nullptr;
    QVBoxLayout* footerLayout_ = nullptr;
    QPointer<QWidget> footer_;
    std::vector<Mark> marks_;
    // What the last build showed, so that what is new to it can come in.
    std::optional<QStringList> shownAttention_;
    std::optional<bool> shownUpNextOpen_;
    QPointer<QWidget> upNextBody_;
    // What the widgets show now, and the recording's figures among them.
    std::optional<MenuState> built_;
    bool builtUpNextOpen_ = true;
    QPointer<PopoverBits::Text> clock_;
    QPointer<PopoverBits::Text> counts_;
    // A press on the card is under way: a new state waits for its release, so
    // the press ends on what it began on.
    bool held_ = false;
    bool pending_ = false;
    int room_ = maxHeight;
};
