#include "ui/Spinner.h"

#include "ui/Motion.h"

#include <QPainter>
#include <QTimer>
#include <cmath>

Spinner::Spinner(int size, QWidget* parent)
    : QWidget(parent)
    , size_(size)
    , timer_(new QTimer(this))
{
    setFixedSize(size, size);
    timer_->setInterval(80);
    connect(timer_, &QTimer::timeout, this, [this] {
        step_ = (step_ + 1) % 12;
        update();
    });
}

QSize Spinner::sizeHint() const
{
    return {size_, size_};
}

void Spinner::showEvent(QShowEvent*)
{
    if (!Motion::reduced())
        timer_->start();
}

void Spinner::hideEvent(QHideEvent*)
{
    timer_->stop();
}

void Spinner::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.translate(width() / 2.0, height() / 2.0);
    const qreal r = size_ / 2.0;
    QColor c = palette().color(QPalette::WindowText);
    for (int i = 0; i < 12; ++i) {
        const int age = (step_ - i + 12) % 12;
        c.setAlphaF(std::max(0.15, 1.0 - age / 12.0));
        p.setPen(QPen(c, std::max(1.5, size_ / 9.0), Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(0, -r * 0.45), QPointF(0, -r * 0.9));
        p.rotate(30);
    }
}
