#include "ui/ShadowEffect.h"

#include <QPainter>
#include <QPainterPath>
#include <QWidget>
#include <cmath>
#include <vector>

namespace {

// One pass of a box blur of radius r along rows (step 1) or columns (step w).
void boxPass(const std::vector<float>& in, std::vector<float>& out, int w, int h, int r, bool rows)
{
    const int lines = rows ? h : w;
    const int length = rows ? w : h;
    const int step = rows ? 1 : w;
    const float scale = 1.0f / float(2 * r + 1);
    for (int line = 0; line < lines; ++line) {
        const int base = rows ? line * w : line;
        float sum = 0;
        for (int i = -r; i <= r; ++i)
            sum += (i >= 0 && i < length) ? in[base + i * step] : 0.0f;
        for (int i = 0; i < length; ++i) {
            out[base + i * step] = sum * scale;
            const int add = i + r + 1;
            const int drop = i - r;
            if (add < length)
                sum += in[base + add * step];
            if (drop >= 0)
                sum -= in[base + drop * step];
        }
    }
}

// Three box blurs approximate a Gaussian (radii chosen for the given sigma).
void gaussian(std::vector<float>& a, int w, int h, qreal sigma)
{
    if (sigma <= 0)
        return;
    const double ideal = std::sqrt(12.0 * sigma * sigma / 3 + 1);
    int lower = int(std::floor(ideal));
    if (lower % 2 == 0)
        --lower;
    const int upper = lower + 2;
    const double m = std::round((12.0 * sigma * sigma - 3.0 * lower * lower - 12.0 * lower - 9) / (-4.0 * lower - 4));
    std::vector<float> tmp(a.size());
    for (int pass = 0; pass < 3; ++pass) {
        const int r = ((pass < m ? lower : upper) - 1) / 2;
        boxPass(a, tmp, w, h, r, true);
        boxPass(tmp, a, w, h, r, false);
    }
}

int blurCount = 0;

// The margin a shadow needs around its source, in pixels.
int marginFor(const ShadowEffect::Shadow& s, qreal dpr)
{
    return int(std::ceil(
               (1.5 * s.radius * s.times + std::max(std::abs(s.offset.x()), std::abs(s.offset.y())) * s.times) * dpr))
        + 2;
}

// `source` (with room around it) shadowed `times` times: each time the shadow of
// everything so far goes beneath it.
QImage shadowed(QImage result, const ShadowEffect::Shadow& s, qreal dpr)
{
    const qreal dx = s.offset.x() * dpr, dy = s.offset.y() * dpr;
    for (int i = 0; i < s.times; ++i) {
        const QImage glow = ShadowEffect::blurredShadow(result, s.colour, s.radius / 2 * dpr);
        QImage next(result.size(), QImage::Format_ARGB32_Premultiplied);
        next.fill(Qt::transparent);
        QPainter pt(&next);
        pt.drawImage(QPointF(dx, dy), glow);
        pt.drawImage(0, 0, result);
        pt.end();
        result = next;
    }
    return result;
}

// The shadows alone that shadowed() puts beneath `source`, without the source.
QImage shadowsOf(const QImage& source, const ShadowEffect::Shadow& s, qreal dpr)
{
    const qreal dx = s.offset.x() * dpr, dy = s.offset.y() * dpr;
    QImage casting = source;
    QImage under(source.size(), QImage::Format_ARGB32_Premultiplied);
    under.fill(Qt::transparent);
    for (int i = 0; i < s.times; ++i) {
        const QImage glow = ShadowEffect::blurredShadow(casting, s.colour, s.radius / 2 * dpr);
        for (QImage* layer : {&under, &casting}) {
            QImage next(source.size(), QImage::Format_ARGB32_Premultiplied);
            next.fill(Qt::transparent);
            QPainter pt(&next);
            pt.drawImage(QPointF(dx, dy), glow);
            pt.drawImage(0, 0, *layer);
            pt.end();
            *layer = next;
        }
    }
    return under;
}

} // namespace

int ShadowEffect::blurs()
{
    return blurCount;
}

ShadowEffect::ShadowEffect(QWidget* owner)
    : QGraphicsEffect(owner)
    , owner_(owner)
{
}

QImage ShadowEffect::blurredShadow(const QImage& source, const QColor& colour, qreal sigma)
{
    ++blurCount;
    const QImage src = source.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const int w = src.width();
    const int h = src.height();
    std::vector<float> alpha(size_t(w) * size_t(h));
    for (int y = 0; y < h; ++y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(src.constScanLine(y));
        for (int x = 0; x < w; ++x)
            alpha[size_t(y) * w + x] = qAlpha(line[x]) / 255.0f;
    }
    gaussian(alpha, w, h, sigma);
    QImage out(w, h, QImage::Format_ARGB32_Premultiplied);
    const float ca = colour.alphaF();
    const float cr = colour.redF() * ca, cg = colour.greenF() * ca, cb = colour.blueF() * ca;
    for (int y = 0; y < h; ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < w; ++x) {
            const float a = std::clamp(alpha[size_t(y) * w + x], 0.0f, 1.0f);
            line[x] = qRgba(int(std::lround(cr * a * 255)), int(std::lround(cg * a * 255)),
                            int(std::lround(cb * a * 255)), int(std::lround(ca * a * 255)));
        }
    }
    return out;
}

QRectF ShadowEffect::boundingRectFor(const QRectF& rect) const
{
    if (!shadow || !owner_)
        return rect;
    const Shadow s = shadow(Pal::of(owner_.data()));
    const qreal spread = 1.5 * s.radius * s.times + 1;
    return rect.united(rect.translated(s.offset * s.times).adjusted(-spread, -spread, spread, spread));
}

void ShadowEffect::draw(QPainter* painter)
{
    if (caster && owner_)
        return drawCast(painter);
    QPoint offset;
    const QPixmap source = sourcePixmap(Qt::DeviceCoordinates, &offset, QGraphicsEffect::NoPad);
    if (source.isNull() || !owner_)
        return;
    const Pal& p = Pal::of(owner_.data());
    const qreal dpr = source.devicePixelRatio();
    const QTransform world = painter->worldTransform();
    // Widget coordinates → pixels of the source image.
    const QTransform toPixels = world * QTransform::fromTranslate(-offset.x(), -offset.y())
        * QTransform::fromScale(dpr, dpr);
    const QRectF box = QRectF(owner_->rect());

    QImage content = source.toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    content.setDevicePixelRatio(1);
    if (outline || clipRadius) {
        QPainterPath path;
        path.addRoundedRect(box, clipRadius.value_or(0), clipRadius.value_or(0));
        QPainter pt(&content);
        pt.setRenderHint(QPainter::Antialiasing);
        pt.setTransform(toPixels);
        if (outline) {
            const Outline o = outline(p);
            // Centred on the edge; the clip below keeps only its inner half.
            pt.strokePath(path, QPen(o.colour, o.width));
        }
        if (clipRadius) {
            pt.setCompositionMode(QPainter::CompositionMode_DestinationIn);
            pt.fillPath(path, Qt::black);
        }
    }

    QImage result = content;
    int margin = 0;
    if (shadow) {
        const Shadow s = shadow(p);
        margin = marginFor(s, dpr);
        result = QImage(content.size() + QSize(2 * margin, 2 * margin), QImage::Format_ARGB32_Premultiplied);
        result.fill(Qt::transparent);
        {
            QPainter pt(&result);
            pt.drawImage(margin, margin, content);
        }
        result = shadowed(result, s, dpr);
    }
    result.setDevicePixelRatio(dpr);
    painter->setWorldTransform(QTransform());
    painter->drawImage(QPointF(offset) - QPointF(margin / dpr, margin / dpr), result);
    painter->setWorldTransform(world);
}

void ShadowEffect::drawCast(QPainter* painter)
{
    const Pal& p = Pal::of(owner_.data());
    const QRectF box = QRectF(owner_->rect());
    if (shadow) {
        if (!kept_)
            kept_ = new KeptShadow;
        kept_->paint(*painter, box, shadow(p), p, caster);
    }
    if (draws) {
        painter->save();
        draws(*painter);
        painter->restore();
    } else {
        drawSource(painter);
    }
    if (outline) {
        const Outline o = outline(p);
        const qreal r = clipRadius.value_or(0);
        const qreal inset = o.width / 4; // the half of a centred line that a clip would keep
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        painter->setPen(QPen(o.colour, o.width / 2));
        painter->setBrush(Qt::NoBrush);
        painter->drawRoundedRect(box.adjusted(inset, inset, -inset, -inset), r - inset, r - inset);
        painter->restore();
    }
}

ShadowEffect::~ShadowEffect()
{
    delete kept_;
}

void KeptShadow::paint(QPainter& painter, const QRectF& box, const ShadowEffect::Shadow& s, const Pal& p,
                       const ShadowEffect::Caster& caster)
{
    const qreal dpr = painter.device() ? painter.device()->devicePixelRatioF() : 1;
    const QList<QRgb> key = {s.colour.rgba(), QRgb(s.radius * 100), QRgb(s.times), QRgb(s.offset.x() * 100),
                             QRgb(s.offset.y() * 100), p.bg.rgba(), p.acFill.rgba(), p.ac.rgba()};
    if (image_.isNull() || for_ != box.size() || dpr_ != dpr || key_ != key) {
        margin_ = marginFor(s, dpr);
        const QSize pixels(int(std::ceil(box.width() * dpr)), int(std::ceil(box.height() * dpr)));
        QImage shape(pixels + QSize(2 * margin_, 2 * margin_), QImage::Format_ARGB32_Premultiplied);
        shape.fill(Qt::transparent);
        {
            QPainter pt(&shape);
            pt.setRenderHint(QPainter::Antialiasing);
            pt.translate(margin_, margin_);
            pt.scale(dpr, dpr);
            caster(pt, QRectF(QPointF(), box.size()), p);
        }
        // Only the shadow is kept: the view draws itself over it.
        image_ = shadowsOf(shape, s, dpr);
        image_.setDevicePixelRatio(dpr);
        for_ = box.size();
        dpr_ = dpr;
        key_ = key;
    }
    painter.drawImage(box.topLeft() - QPointF(margin_ / dpr, margin_ / dpr), image_);
}
