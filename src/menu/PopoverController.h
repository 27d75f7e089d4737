#pragma once

#include "menu/MenuModel.h"

#include <QObject>
#include <QPointer>
#include <QRect>
#include <functional>

class KeyPanel;
class PopoverRoot;
class QKeyEvent;
class QSettings;

// Owns the menu model and the panel the popover shows in: opens it under the
// tray icon (above it when the panel sits at the bottom of the screen), closes
// it, and turns keys into the model's moves and actions. Main thread only.
class PopoverController : public QObject {
    Q_OBJECT
public:
    // The transparent border around the card on every side of the panel.
    static constexpr int margin = 22;
    // Between the anchor and the card.
    static constexpr int gap = 4;

    // The store keeps the fold state of "Up next"; it outlives the controller.
    explicit PopoverController(QSettings& store, QObject* parent = nullptr);
    ~PopoverController() override;

    MenuModel& model() { return model_; }
    KeyPanel* panel() const;
    PopoverRoot* root() const;

    // Run at the start of every open, before anything is laid out.
    std::function<void()> onOpen;
    // Ctrl+Q: the owner quits (after saving a running recording).
    std::function<void()> onQuit;

    bool isOpen() const;
    // `anchor`: the tray icon's geometry when the tray reports one; an empty
    // rectangle hangs the popover from the pointer.
    void toggle(const QRect& anchor = {});
    void open(const QRect& anchor = {});
    // Fades out, then hides; a reopen meanwhile keeps the panel up.
    void close();
    // A key pressed in the panel; true when handled.
    bool handleKey(const QKeyEvent& event);

    // The panel's frame for an anchor, on the screen whose full and available
    // areas are given (empty: no screen, nothing clamped), for content of the
    // given natural height. Centred on the anchor, 4 below it, or 4 above it
    // when the anchor is in the screen's lower half; kept 4 inside the area.
    static QRect popoverFrame(const QRect& anchor, const QRect& screen, const QRect& available, qreal contentHeight);

private:
    void makePanel();
    void layout();

    MenuModel model_;
    KeyPanel* panel_ = nullptr;
    PopoverRoot* root_ = nullptr;
    QRect anchor_;
};
