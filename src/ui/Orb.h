#pragma once

#include <QTimer>
#include <QWidget>
#include <atomic>
#include <vector>

class QPainter;

// The animated status mark: a round field of cells that breathes with a slow
// wave, brightens with the live microphone level (LiveMeter) and sends a ring
// outwards after each activity pulse. Below 30 points each cell is a dot; from
// 30 points on a character of a brightness ramp. Animates while shown and live,
// 12 frames a second below 30 points and 20 from there, and skips a frame that
// would look like the last; still under reduced motion, when not live, and
// while snapshots are taken. A still live orb draws again only when the level
// moved. Its glow is that of the field at rest, kept between frames, so a frame
// draws the orb's own square alone.
class Orb : public QWidget {
    Q_OBJECT
public:
    explicit Orb(qreal size = 40, bool live = true, QWidget* parent = nullptr);

    qreal size() const { return size_; }
    bool live() const { return live_; }
    bool animating() const { return timer_.isActive(); }
    // Frames drawn so far, for tests of what repaints.
    int frames() const { return frames_; }

    // While set, every orb draws one still frame without animation.
    static bool snapshot();
    static void setSnapshot(bool on);

    // One cell of the round field, in the orb's coordinates.
    struct Cell {
        QPointF centre;
        qreal value = 0; // brightness 0 … 1
    };
    struct Moment {
        qreal level = 0;   // microphone level as shown (already scaled)
        qreal t = 1.3;     // seconds of the wave
        qreal since = 1e9; // seconds since the last pulse
        bool still = true;
    };
    // The cells inside the round field for an orb `width` wide, row by row.
    static std::vector<Cell> cells(qreal width, const Moment& m);
    // Ramp character for a brightness: " .·:-=+*#%@", space for the darkest.
    static QChar rampAt(qreal value);
    // Draws the cells of an orb `width` wide at moment `m` in `colour`: a dot's
    // size and every cell's ink in one of 25 brightness steps.
    static void drawCells(QPainter& painter, qreal width, const Moment& m, const QColor& colour);
    // The cells' brightness steps as drawn: two moments that give the same
    // picture look the same.
    static std::vector<quint16> picture(qreal width, const Moment& m);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent*) override;
    void showEvent(QShowEvent*) override;
    void hideEvent(QHideEvent*) override;

private:
    bool still() const;
    Moment moment() const;
    void frame();
    void refresh();
    void paintFrame(QPainter& painter);

    qreal size_;
    bool live_;
    QTimer timer_;
    QTimer levelWatch_;
    qreal shownLevel_ = 0;
    std::vector<quint16> shown_; // the picture last drawn
    int frames_ = 0;
    static std::atomic<bool> snapshot_;
};
