#include "ui/PaintButton.h"

#include <QPainter>

PaintButton::PaintButton(QSize size, Draw draw, QWidget* parent)
    : QAbstractButton(parent)
    , size_(size)
    , draw_(std::move(draw))
{
    setFixedSize(size);
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::ArrowCursor);
}

void PaintButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    draw_(painter, Pal::of(this), QRectF(rect()));
}
