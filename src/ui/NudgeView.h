#pragma once

#include "ui/ZVChip.h"

#include <QString>
#include <QWidget>
#include <functional>
#include <optional>
#include <vector>

class PalText;
class PaintButton;
class ZVButton;
class ZVCard;

// One button of a nudge: its label as given, whether it is the primary one,
// and what pressing it does.
struct NudgeButton {
    QString title;
    bool primary = false;
    std::function<void()> action;
};

// A nudge's card: a mark, an optional tag chip, the close control, the title,
// an optional message and the buttons in a row (at the trailing edge) or a
// full-width column. 330 wide with 16 points of room around it for the glow
// and the shadow. Texts are shown as plain text.
class NudgeView : public QWidget {
    Q_OBJECT
public:
    struct Tag {
        std::optional<QString> text;
        ZVChip::Tone tone = ZVChip::Tone::accent;
        bool operator==(const Tag&) const = default;
    };
    // The chip of a nudge kind (exact match); an unknown kind has none and the
    // accent tone.
    static Tag tag(const QString& kind);

    NudgeView(const QString& icon, const QString& title, const std::optional<QString>& message,
              std::vector<NudgeButton> buttons, bool stacked, const std::optional<QString>& tag, ZVChip::Tone tone,
              std::function<void()> close, QWidget* parent = nullptr);

    // Parts, for the presenter's placement and for tests.
    ZVCard* card() const { return card_; }
    QWidget* mark() const { return mark_; }
    ZVChip* chip() const { return chip_; }
    PaintButton* closeControl() const { return close_; }
    PalText* title() const { return title_; }
    PalText* message() const { return message_; }
    const std::vector<ZVButton*>& buttons() const { return buttons_; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    ZVCard* card_ = nullptr;
    QWidget* mark_ = nullptr;
    ZVChip* chip_ = nullptr;
    PaintButton* close_ = nullptr;
    PalText* title_ = nullptr;
    PalText* message_ = nullptr;
    std::vector<ZVButton*> buttons_;
};
