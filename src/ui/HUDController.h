#pragma once

#include "ui/Floating.h"
#include "ui/HUDModel.h"

#include <QObject>
#include <QPointer>
#include <QSettings>
#include <functional>
#include <optional>

class HUDView;

// Owns the recording panel: a floating panel showing a HUDView of its own
// model while a session is recorded. It fades in and out, takes the size of its
// content, hangs by its top-right corner from a point the user moves by
// dragging, parks at the screen edge as a dot, and remembers the mode and the
// corner in the defaults store. Main thread.
//
// "hud.mode" holds "pill" or "dot" (the card is stored as "pill");
// "hud.topRight" holds the corner as "x,y": whole logical pixels in Qt's global
// coordinates (y grows downwards), x the panel's right edge (left + width), y
// its top.
class HUDController : public QObject {
    Q_OBJECT
public:
    using Screens = std::function<std::vector<ScreenArea>()>;

    static inline const QString modeKey = QStringLiteral("hud.mode");
    static inline const QString cornerKey = QStringLiteral("hud.topRight");

    // The store outlives the controller.
    explicit HUDController(QSettings& defaults, Screens screens = FloatingPanel::screens);
    ~HUDController() override;

    HUDModel& model() { return model_; }
    // Shows the panel for a new session: start, microphone, empty feed and the
    // stored mode.
    void show(const QDateTime& started, bool mic);
    // Fades the panel out and takes it off the screen; kept for the next show.
    void hide();
    // The panel's frame while it is on screen, for the nudges to keep clear of.
    std::optional<QRect> frame() const;

    FloatingPanel* panel() const { return panel_; }
    HUDView* view() const;

    // The corner text as stored, and back; anything but two integers
    // separated by a comma is no corner.
    static QString cornerText(QPoint corner);
    static std::optional<QPoint> parseCorner(const QString& text);

    // The top-right corner for the panel: the stored corner when a screen's
    // frame grown by 4 on every side holds it, else 360 in from the main
    // screen's visible right edge and 2 below its visible top; in dot mode the
    // x moves to 6 past the visible right edge of the screen holding it.
    static QPoint anchor(std::optional<QPoint> stored, HUDModel::Mode mode, const std::vector<ScreenArea>& screens);

private:
    void make();
    void fit();
    void storeCorner();

    HUDModel model_;
    QSettings& d_;
    Screens screens_;
    QPointer<FloatingPanel> panel_;
};
