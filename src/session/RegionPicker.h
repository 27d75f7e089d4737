#pragma once

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QWidget>
#include <functional>
#include <optional>

// A full-screen overlay over a frozen grab of the display: the user drags a
// rectangle; Escape, a click without a drag or closing the window cancels.
// `done` is called once, with the rectangle in the grab's pixels or nothing; the
// picker then closes and deletes itself.
class RegionPicker : public QWidget {
public:
    using Done = std::function<void(std::optional<QRect> region)>;

    // `screen` is the display's rectangle on the desktop, which the grab shows.
    RegionPicker(QImage frozen, const QRect& screen, Done done);
    ~RegionPicker() override;

    static inline const char* objectNameForTests = "zelvanRegionPicker";

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void finish(std::optional<QRect> region);
    // The widget rectangle in the grab's pixels.
    QRect toImage(const QRect& r) const;

    QImage frozen_;
    Done done_;
    std::optional<QPoint> anchor_;
    QRect selection_;
    bool grabbed_ = false;
    // Recordings keep no frame while the picker is on screen.
    bool pausing_ = false;
};
