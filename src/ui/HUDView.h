#pragma once

#include "ui/HUDModel.h"

#include <QPointer>
#include <QTimer>
#include <QUuid>
#include <QWidget>
#include <optional>
#include <vector>

class PalText;
class PaintButton;
class ZVButton;

// The recording panel's content, drawn from a HUDModel in one of three layouts:
// the dot (a ring at the screen edge), the pill (orb, "Zelvan active", the
// elapsed time, a red dot) and the card (header, buttons and the feed
// "Picking up"). Padded 14 on all sides, always at its ideal size. Rebuilt on
// every change of the model; the elapsed time ticks once a second.
class HUDView : public QWidget {
    Q_OBJECT
public:
    explicit HUDView(HUDModel& model, QWidget* parent = nullptr);

    HUDModel& model() const { return m_; }
    // A click on the pill's body (the panel reports it, since a press there
    // may also start a drag): opens the card.
    void tap();

    // The card header's status ("· HEARING", "· MIC ON", "· NO MIC") and its
    // help text.
    static QString status(const HUDModel& m);
    static QString statusHelp(const HUDModel& m);
    // Elapsed time since the session start, as shown.
    QString elapsed() const;

    // Parts of the current layout, for tests; null when the layout lacks them.
    QWidget* body() const { return body_; }
    PaintButton* dot() const { return dot_; }
    ZVButton* collapseButton() const { return collapse_; }
    ZVButton* wrapUpButton() const { return wrapUp_; }
    ZVButton* pinButton() const { return pin_; }
    ZVButton* voiceButton() const { return voice_; }
    ZVButton* hideButton() const { return hide_; }
    PalText* statusText() const { return status_; }
    PalText* emptyText() const { return empty_; }
    QList<QWidget*> feedRows() const;

protected:
    void paintEvent(QPaintEvent*) override;

private:
    void rebuild();
    QWidget* buildDot();
    QWidget* buildPill();
    QWidget* buildCard();
    PalText* elapsedText();
    void tick();

    HUDModel& m_;
    QPointer<QWidget> body_;
    QPointer<QWidget> feed_;
    QList<QPointer<PalText>> clocks_;
    // The feed's ids as last drawn in the card: rows new to it slide in.
    std::optional<std::vector<QUuid>> shownFeed_;
    bool switching_ = false;
    PaintButton* dot_ = nullptr;
    ZVButton* collapse_ = nullptr;
    ZVButton* wrapUp_ = nullptr;
    ZVButton* pin_ = nullptr;
    ZVButton* voice_ = nullptr;
    ZVButton* hide_ = nullptr;
    PalText* status_ = nullptr;
    PalText* empty_ = nullptr;
    QTimer ticker_;
};
