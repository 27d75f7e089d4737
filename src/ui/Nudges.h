#pragma once

#include "ui/Floating.h"
#include "ui/Later.h"
#include "ui/NudgeView.h"

#include <QObject>
#include <QPointer>
#include <QRect>
#include <functional>
#include <memory>
#include <optional>

// One nudge to show: what the application passes to Nudges::show.
struct Nudge {
    QString kind; // gives the chip; what dismissKind and current() compare
    int priority = 1;
    QString icon = QStringLiteral("/"); // "●" a red dot, "■" a red square, else the accent slash
    QString title;
    std::optional<QString> message;
    std::vector<NudgeButton> buttons;
    bool stacked = false;
    std::optional<double> timeout;   // seconds until it closes by itself
    std::function<void()> onTimeout; // run on the time-out and by the close control
};

// Keeps at most one nudge card on screen, at the top right of the main screen
// and clear of the recording panel. A nudge of lower priority than the one on
// screen is dropped (and logged); an equal or higher one replaces it without
// running the old one's time-out handler. Main thread.
class Nudges : public QObject {
    Q_OBJECT
public:
    using Screens = std::function<std::vector<ScreenArea>()>;

    static Nudges& shared();
    explicit Nudges(Later& later = Later::main(), Screens screens = FloatingPanel::screens);
    ~Nudges() override;

    void show(Nudge nudge);
    // Removes the nudge on screen, running its time-out handler when asked.
    void dismiss(bool runTimeout = false);
    // Removes the nudge on screen only when it is of `kind`; no handler runs.
    void dismissKind(const QString& kind);

    std::optional<QString> current() const { return kind_; }
    int priority() const { return priority_; }
    FloatingPanel* panel() const { return panel_; }
    NudgeView* view() const;

    // A rectangle the card must not cover (the recording panel), or none.
    std::function<std::optional<QRect>()> avoid;

    // Where a card of `size` goes: hanging 8 above the visible top with its
    // right edge 4 past the visible right edge (its transparent margin keeps the
    // card itself inside), or hanging from 8 above the bottom of `avoid` when
    // it would overlap it. Nothing without a screen.
    static std::optional<QPoint> place(QSize size, const std::vector<ScreenArea>& screens,
                                       const std::optional<QRect>& avoid);

private:
    Later& later_;
    Screens screens_;
    QPointer<FloatingPanel> panel_;
    std::optional<QString> kind_;
    int priority_ = 0;
    std::unique_ptr<Later::Handle> autoClose_;
    std::function<void()> onTimeout_;
};
