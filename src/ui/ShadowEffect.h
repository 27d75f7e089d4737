#pragma once

#include "ui/Pal.h"

#include <QGraphicsEffect>
#include <QPointer>
#include <functional>
#include <optional>

class QWidget;

// What a view puts around its own drawing, evaluated on every paint with the
// view's palette: an outline over the drawing, a clip of the whole to a rounded
// rectangle, then a drop shadow (or glow) made from what is left. The shadow may
// spill over the view's edges into its parent.
class ShadowEffect : public QGraphicsEffect {
    Q_OBJECT
public:
    struct Shadow {
        QColor colour;
        qreal radius = 0; // blur radius in points; the Gaussian's sigma is half of it
        QPointF offset;
        int times = 1; // each time shadows the drawing with the shadows so far
    };
    struct Outline {
        QColor colour;
        qreal width = 1;
    };

    explicit ShadowEffect(QWidget* owner);

    std::function<Shadow(const Pal&)> shadow;
    std::function<Outline(const Pal&)> outline; // stroked along the clip's edge
    std::optional<qreal> clipRadius;            // corner radius of the clip

    // Premultiplied ARGB image → its alpha blurred by a Gaussian of `sigma`
    // pixels and tinted with `colour`, on the same canvas.
    static QImage blurredShadow(const QImage& source, const QColor& colour, qreal sigma);

protected:
    QRectF boundingRectFor(const QRectF& rect) const override;
    void draw(QPainter* painter) override;

private:
    QPointer<QWidget> owner_;
};
