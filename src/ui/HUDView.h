#pragma once

#include "ui/HUDModel.h"

#include <QPointer>
#include <QRegion>
#include <QTimer>
#include <QUuid>
#include <QWidget>
#include <optional>
#include <vector>

class FeedRow;
class PalText;
class PaintButton;
class ZVButton;

// The recording panel's content, drawn from a HUDModel in one of three layouts:
// the dot (a ring at the screen edge), the pill (orb, "Zelvan active", the
// elapsed time, a red dot) and the card (header, buttons and the feed
// "Picking up"). Padded 14 on all sides, always at its ideal size. Each layout
// is built once; a change of the model updates what changed in place, so a
// press on a button survives a feed update. The elapsed time ticks on the
// second of the session while the view is shown.
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
    // What the current layout paints, in the view's coordinates: the pill's
    // capsule, the dot's circle or the card; its shadow and glow are not in it.
    QRegion paintedShape() const;

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

signals:
    // The view has caught up with the model or its clock: its size may differ.
    void refreshed();

protected:
    void paintEvent(QPaintEvent*) override;
    void showEvent(QShowEvent*) override;
    void hideEvent(QHideEvent*) override;

private:
    void refresh();
    void updateCard(bool animate);
    void updateFeed(bool animate);
    QWidget* buildDot();
    QWidget* buildPill();
    QWidget* buildCard();
    QWidget* bodyFor(HUDModel::Mode mode) const;
    PalText* elapsedText();
    void tick();
    void scheduleTick();

    HUDModel& m_;
    QWidget* pill_ = nullptr;
    QWidget* card_ = nullptr;
    QPointer<QWidget> body_;
    QWidget* feed_ = nullptr;
    std::vector<FeedRow*> rows_;
    std::vector<PalText*> clocks_;
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
