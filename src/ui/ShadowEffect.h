#pragma once

#include "ui/Pal.h"

#include <QGraphicsEffect>
#include <QPointer>
#include <functional>
#include <optional>

class KeptShadow;
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
    ~ShadowEffect() override;

    std::function<Shadow(const Pal&)> shadow;
    std::function<Outline(const Pal&)> outline; // stroked along the clip's edge
    std::optional<qreal> clipRadius;            // corner radius of the clip

    // What casts the shadow when it is not the drawing itself: a shape that
    // stays put while the drawing changes (a card, the round field of an orb).
    // Its shadow is blurred once per size, scale and palette and kept, and the
    // drawing is painted straight through, so a child that moves repaints only
    // its own area. The drawing is not clipped then: it must keep inside.
    using Caster = std::function<void(QPainter&, const QRectF& box, const Pal&)>;
    Caster caster;
    // With a caster, a leaf view whose every frame changes (an orb) may hand
    // its drawing to the effect: it is then drawn straight onto the painter,
    // without a pixmap of it or a paint event.
    std::function<void(QPainter&)> draws;
    // Shadow images made so far (by any effect), for tests of the cache.
    static int blurs();

    // Premultiplied ARGB image → its alpha blurred by a Gaussian of `sigma`
    // pixels and tinted with `colour`, on the same canvas.
    static QImage blurredShadow(const QImage& source, const QColor& colour, qreal sigma);

protected:
    QRectF boundingRectFor(const QRectF& rect) const override;
    void draw(QPainter* painter) override;

private:
    void drawCast(QPainter* painter);

    QPointer<QWidget> owner_;
    KeptShadow* kept_ = nullptr;
};

// The shadow of a shape that stays put, blurred once per size, scale and
// colours and then kept. A view's parent draws it beneath the view, from its
// own paint event, where it has room for it.
class KeptShadow {
public:
    // Draws the shadow of what `caster` fills in `box` (in the painter's
    // coordinates), without the shape itself.
    void paint(QPainter& painter, const QRectF& box, const ShadowEffect::Shadow& shadow, const Pal& p,
               const ShadowEffect::Caster& caster);

private:
    QImage image_;
    QSizeF for_;
    qreal dpr_ = 0;
    QList<QRgb> key_;
    int margin_ = 0;
};
