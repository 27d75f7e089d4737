#pragma once

#include <QPointer>
#include <QRect>
#include <QRegion>
#include <QVariantAnimation>
#include <QWidget>
#include <functional>
#include <vector>

// One screen as the floating surfaces place themselves on it, in Qt's global
// logical coordinates (y grows downwards): its whole frame and the part left
// free by panels and docks.
struct ScreenArea {
    QRect frame;
    QRect visible;
    bool operator==(const ScreenArea&) const = default;
};

// The window every floating surface (recording panel, nudges, listening pill)
// lives in: frameless, above other windows, on every desktop, translucent,
// never given the keyboard focus on show or click, so a click on one of its
// buttons acts at once while the user's application stays active. A
// click-through panel lets every click pass to the windows beneath.
//
// A panel takes input only on what it paints: its content names that shape
// (the capsule, the circle, the card) and the panel makes it the window's input
// shape, so clicks in its transparent margin reach the window beneath. With no
// compositing manager running, transparent pixels would show black; the shape
// then also bounds what is drawn. Both follow resizes and a compositing
// manager's start and stop.
//
// Placement rules are written for a y-up screen whose corner sits at the top
// right; here they are applied once to the y-down geometry: "hangs d below the
// visible top" is visible.top() + d, and a top-right corner A puts the window's
// origin at (A.x − width, A.y).
class FloatingPanel : public QWidget {
    Q_OBJECT
public:
    explicit FloatingPanel(bool clickThrough = false);

    // The screens, the primary ("main") screen first.
    static std::vector<ScreenArea> screens();
    // The window's origin for top-right corner `corner` and `size`.
    static QPoint originFor(QPoint corner, QSize size) { return {corner.x() - size.width(), corner.y()}; }

    // Makes `content` fill the panel; the panel owns it.
    void setContent(QWidget* content);
    QWidget* content() const { return content_; }
    // The content's ideal size: the size the panel takes.
    QSize fittingSize() const;

    // Shows at opacity 0 without activating and fades in; stops a fade-out
    // on its way, so a hide just before cannot take the new show away.
    void fadeIn(double seconds);
    // Fades out, then takes the panel off the screen (kept for reuse).
    void fadeOut(double seconds);
    bool fading() const { return fade_.state() == QAbstractAnimation::Running; }

    // Presses on the panel's background move it (children's buttons keep theirs).
    void setDraggable(bool on) { draggable_ = on; }

    // The painted shape in the panel's coordinates; the whole panel when unset.
    using Shape = std::function<QRegion()>;
    void setShape(Shape shape);
    QRegion shape() const;
    // Applies the shape again (the content changed it without a resize).
    void reshape();

    // Whether a compositing manager runs on the panel's screen (always true
    // off X11, where nothing shows black).
    static bool compositing();
    // A rounded rectangle as a region: the pixels whose centres it holds.
    static QRegion rounded(const QRect& r, qreal radius);

signals:
    // A press and release on the background, inside the shape, without a move.
    void tapped();
    // The user moved the panel by dragging; emitted once, on release.
    void dragged();

protected:
    void mousePressEvent(QMouseEvent*) override;
    void mouseMoveEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;
    void resizeEvent(QResizeEvent*) override;
    void showEvent(QShowEvent*) override;

private:
    void markAllDesktops();
    void applyShape();

    QPointer<QWidget> content_;
    Shape shape_;
    bool clickThrough_ = false;
    QRegion appliedInput_, appliedBounds_;
    bool applied_ = false;
    bool appliedBound_ = false;
    QVariantAnimation fade_;
    bool hideAfterFade_ = false;
    bool draggable_ = false;
    bool pressed_ = false;
    bool moved_ = false;
    QPoint pressAt_;
    QPoint originAtPress_;
};
