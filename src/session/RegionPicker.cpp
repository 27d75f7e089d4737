#include "session/RegionPicker.h"

#include "core/Brand.h"
#include "platform/OwnWindows.h"
#include "session/CapturePause.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <cmath>

RegionPicker::RegionPicker(QImage frozen, const QRect& screen, Done done)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
    , frozen_(std::move(frozen))
    , done_(std::move(done))
{
    setObjectName(QLatin1String(objectNameForTests));
    setAttribute(Qt::WA_DeleteOnClose);
    setCursor(Qt::CrossCursor);
    setMouseTracking(false);
    setGeometry(screen);
}

RegionPicker::~RegionPicker()
{
    if (pausing_)
        CapturePause::end();
}

void RegionPicker::showEvent(QShowEvent*)
{
    // Sent before the window is mapped.
    if (!pausing_) {
        pausing_ = true;
        CapturePause::begin();
    }
}

void RegionPicker::hideEvent(QHideEvent*)
{
    if (!pausing_)
        return;
    // The pause ends only once the window, and the frame the window manager may
    // keep around it, are off the screen.
    OwnWindows::waitOffScreen(windowHandle());
    pausing_ = false;
    CapturePause::end();
}

void RegionPicker::paintEvent(QPaintEvent*)
{
    // Once the window is on screen, keyboard and pointer go to it alone, so that
    // Escape and the drag work whichever window had the focus.
    if (!grabbed_) {
        grabbed_ = true;
        grabKeyboard();
        grabMouse();
    }
    QPainter p(this);
    p.drawImage(rect(), frozen_);
    QPainterPath dim;
    dim.addRect(rect());
    if (!selection_.isEmpty()) {
        QPainterPath hole;
        hole.addRect(selection_);
        dim = dim.subtracted(hole);
    }
    p.fillPath(dim, QColor(0, 0, 0, 90));
    if (!selection_.isEmpty()) {
        p.setPen(QPen(Brand::lime(), 1));
        p.drawRect(selection_.adjusted(0, 0, -1, -1));
    }
}

void RegionPicker::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    anchor_ = event->position().toPoint();
    selection_ = QRect();
    update();
}

void RegionPicker::mouseMoveEvent(QMouseEvent* event)
{
    if (!anchor_)
        return;
    selection_ = QRect(*anchor_, event->position().toPoint()).normalized();
    update();
}

void RegionPicker::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !anchor_)
        return;
    // Corners are pixel edges: a drag from (10, 10) to (20, 30) covers 10 × 20 pixels.
    const QPoint end = event->position().toPoint();
    const QRect r = QRect(QPoint(std::min(anchor_->x(), end.x()), std::min(anchor_->y(), end.y())),
                          QPoint(std::max(anchor_->x(), end.x()) - 1, std::max(anchor_->y(), end.y()) - 1));
    anchor_.reset();
    const QRect region = toImage(r) & frozen_.rect();
    finish(region.width() >= 2 && region.height() >= 2 ? std::optional(region) : std::nullopt);
}

void RegionPicker::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape)
        finish(std::nullopt);
}

void RegionPicker::closeEvent(QCloseEvent* event)
{
    finish(std::nullopt);
    event->accept();
}

void RegionPicker::finish(std::optional<QRect> region)
{
    if (!done_)
        return;
    Done done = std::move(done_);
    done_ = nullptr;
    releaseKeyboard();
    releaseMouse();
    hide();
    close();
    done(region);
}

QRect RegionPicker::toImage(const QRect& r) const
{
    if (width() <= 0 || height() <= 0)
        return QRect();
    const double sx = double(frozen_.width()) / width();
    const double sy = double(frozen_.height()) / height();
    const int left = int(std::floor(r.left() * sx));
    const int top = int(std::floor(r.top() * sy));
    const int right = int(std::ceil((r.right() + 1) * sx));
    const int bottom = int(std::ceil((r.bottom() + 1) * sy));
    return QRect(QPoint(left, top), QPoint(right - 1, bottom - 1));
}
