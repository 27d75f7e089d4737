#pragma once

#include "ui/Pal.h"

#include <QAbstractButton>
#include <functional>

// A chrome-less button of a fixed size that draws itself with a function of the
// palette: the nudges' close control and the recording panel's dot. The whole
// rectangle takes clicks; connect to clicked().
class PaintButton : public QAbstractButton {
    Q_OBJECT
public:
    using Draw = std::function<void(QPainter&, const Pal&, const QRectF&)>;

    PaintButton(QSize size, Draw draw, QWidget* parent = nullptr);

    QSize sizeHint() const override { return size_; }
    QSize minimumSizeHint() const override { return size_; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QSize size_;
    Draw draw_;
};
