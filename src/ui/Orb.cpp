#include "ui/Orb.h"

#include "core/Clock.h"
#include "session/LiveMeter.h"
#include "ui/Motion.h"
#include "ui/Pal.h"
#include "ui/ShadowEffect.h"
#include "ui/ZVFont.h"

#include <QPainter>
#include <QStaticText>
#include <cmath>

std::atomic<bool> Orb::snapshot_{false};

namespace {

const QString ramp = QStringLiteral(" .\u00B7:-=+*#%@");
constexpr qreal stillTime = 1.3;
constexpr qreal pulseSeconds = 1.2;
constexpr qreal charsFrom = 30; // orbs this size and larger draw characters
// The wave moves slowly: a 22-point field of dots changes by a fraction of a
// pixel in 1/30 s, so small orbs draw 12 frames a second and character orbs 20.
int frameMsecsFor(qreal size)
{
    return size < charsFrom ? 83 : 50;
}
// Brightness steps a cell is drawn in: finer than a dot's radius or alpha shows.
constexpr qreal steps = 24;

qreal stepped(qreal value)
{
    return std::round(value * steps) / steps;
}

const QDateTime& referenceDate()
{
    static const QDateTime d(QDate(2001, 1, 1), QTime(0, 0), QTimeZone::utc());
    return d;
}

} // namespace

Orb::Orb(qreal size, bool live, QWidget* parent)
    : QWidget(parent)
    , size_(size)
    , live_(live)
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAttribute(Qt::WA_TranslucentBackground);
    timer_.setInterval(frameMsecsFor(size));
    connect(&timer_, &QTimer::timeout, this, &Orb::frame);

    // A still orb that follows the microphone looks at the level now and then,
    // and draws again only when it moved.
    levelWatch_.setInterval(200);
    connect(&levelWatch_, &QTimer::timeout, this, [this] {
        if (live_ && std::abs(double(LiveMeter::shared().mic()) * 0.55 - shownLevel_) >= 0.005)
            refresh();
    });
    Motion::onChange(this, [this] { refresh(); });

    auto* glow = new ShadowEffect(this);
    glow->shadow = [](const Pal& p) {
        QColor c = p.dark ? p.acFill : p.ac;
        c.setAlphaF(p.dark ? 0.35f : 0.15f);
        // An animated orb carries its glow twice (inside and around its timeline).
        return ShadowEffect::Shadow{c, 6, QPointF(), snapshot() ? 1 : 2};
    };
    // The glow is that of the round field at rest, blurred once per size and
    // palette: blurring every frame cost more than drawing it.
    glow->caster = [this](QPainter& painter, const QRectF&, const Pal& p) {
        drawCells(painter, size_, Moment{}, p.dark ? p.acFill : p.ac);
    };
    glow->draws = [this](QPainter& painter) { paintFrame(painter); };
    setGraphicsEffect(glow);
}

bool Orb::snapshot()
{
    return snapshot_.load(std::memory_order_relaxed);
}

void Orb::setSnapshot(bool on)
{
    snapshot_.store(on, std::memory_order_relaxed);
}

QSize Orb::sizeHint() const
{
    const int side = int(std::ceil(size_));
    return {side, side};
}

bool Orb::still() const
{
    return Motion::reduced() || !live_ || snapshot();
}

std::vector<Orb::Cell> Orb::cells(qreal width, const Moment& m)
{
    const int n = width < charsFrom ? 7 : 11;
    const qreal c = (n - 1) / 2.0;
    const qreal cell = width / n;
    const bool noPulse = m.since >= pulseSeconds || m.still;
    const qreal k = m.since / pulseSeconds;
    const qreal ring = 1.2 * k;
    const qreal fade = 1 - k;
    std::vector<Cell> out;
    out.reserve(size_t(n) * n);
    for (int i = 0; i < n; ++i) {
        const qreal dy = i - c;
        const qreal y = cell * (i + 0.5);
        const qreal rowWave = std::cos(1.7 * m.t + 1.1 * dy);
        for (int j = 0; j < n; ++j) {
            const qreal dx = j - c;
            const qreal d = std::sqrt(dx * dx + dy * dy) / c;
            if (d > 1.08)
                continue;
            qreal v = m.level * (1 - 0.5 * d) + (1 - d) * 0.75
                + (rowWave * std::sin(2.1 * m.t + 0.9 * dx) * 0.5 + 0.5) * 0.25;
            if (!noPulse)
                v += fade * std::max(0.0, 0.6 - 3 * std::abs(d - ring));
            out.push_back({QPointF(cell * (j + 0.5), y), std::clamp(v, 0.0, 1.0)});
        }
    }
    return out;
}

QChar Orb::rampAt(qreal value)
{
    const int index = std::clamp(int(value * (ramp.size() - 1)), 0, int(ramp.size() - 1));
    return ramp[index];
}

void Orb::showEvent(QShowEvent*)
{
    update();
}

void Orb::hideEvent(QHideEvent*)
{
    timer_.stop();
    levelWatch_.stop();
}

Orb::Moment Orb::moment() const
{
    const bool isStill = still();
    const QDateTime now = Clock::current().now();
    Moment m;
    m.still = isStill;
    m.t = isStill ? stillTime : referenceDate().msecsTo(now) / 1000.0;
    m.level = live_ ? double(LiveMeter::shared().mic()) * 0.55 : 0;
    m.since = LiveMeter::shared().pulseAt().msecsTo(now) / 1000.0;
    return m;
}

std::vector<quint16> Orb::picture(qreal width, const Moment& m)
{
    std::vector<quint16> out;
    for (const Cell& c : cells(width, m)) {
        const auto step = quint16(std::lround(c.value * steps));
        out.push_back(width < charsFrom ? step : quint16(rampAt(c.value).unicode() << 5 | step));
    }
    return out;
}

void Orb::frame()
{
    // A frame that would look like the last one is not drawn (one that turns
    // the orb still is, and stops the frames).
    if (!still() && picture(size_, moment()) == shown_)
        return;
    refresh();
}

void Orb::refresh()
{
    // The glow is kept between frames and the field stays inside the orb's
    // square: only that square is drawn again, never the labels beside it
    // that the glow reaches.
    if (QWidget* parent = parentWidget(); parent && graphicsEffect())
        parent->update(geometry());
    else
        update();
}

void Orb::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    paintFrame(painter);
}

void Orb::paintFrame(QPainter& painter)
{
    ++frames_;
    const bool isStill = still();
    // Frames are only asked for while something can move.
    if (isStill || !isVisible())
        timer_.stop();
    else if (!timer_.isActive())
        timer_.start();
    const bool watch = isStill && isVisible() && live_ && !snapshot();
    if (!watch)
        levelWatch_.stop();
    else if (!levelWatch_.isActive())
        levelWatch_.start();
    const QString name = snapshot() ? QString() : QStringLiteral("Zelvan is active");
    if (accessibleName() != name)
        setAccessibleName(name);

    const Pal& p = Pal::of(this);
    const Moment m = moment();
    shownLevel_ = m.level;
    shown_ = picture(size_, m);
    drawCells(painter, size_, m, p.dark ? p.acFill : p.ac);
}

namespace {

// The ramp's characters in one font, shaped once: an orb draws a hundred of
// them on every frame.
struct RampGlyphs {
    QFont font;
    std::vector<QStaticText> texts;
    std::vector<qreal> widths;
    qreal height = 0;
};

const RampGlyphs& rampGlyphs(const QFont& font)
{
    static std::vector<RampGlyphs> kept; // one per orb size; there are a few
    for (const RampGlyphs& g : kept)
        if (g.font == font)
            return g;
    RampGlyphs g;
    g.font = font;
    const QFontMetricsF metrics(font);
    g.height = metrics.height();
    for (const QChar ch : ramp) {
        QStaticText text{QString(ch)};
        text.setTextFormat(Qt::PlainText);
        text.setPerformanceHint(QStaticText::AggressiveCaching);
        g.texts.push_back(text);
        g.widths.push_back(metrics.horizontalAdvance(ch));
    }
    kept.push_back(std::move(g));
    return kept.back();
}

} // namespace

void Orb::drawCells(QPainter& painter, qreal w, const Moment& m, const QColor& colour)
{
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    const int n = w < charsFrom ? 7 : 11;
    const qreal cell = w / n;
    const QFont charFont = ZVFont::mono(cell * 1.15, QFont::Bold);
    for (const Cell& c : cells(w, m)) {
        const qreal v = stepped(c.value);
        QColor ink = colour;
        if (w < charsFrom) {
            ink.setAlphaF(float(0.75 * v + 0.25));
            const qreal r = cell * (0.6 * v + 0.25) / 2;
            painter.setBrush(ink);
            painter.drawEllipse(c.centre, r, r);
            continue;
        }
        const qsizetype index = ramp.indexOf(rampAt(c.value));
        if (index <= 0) // the darkest is a space
            continue;
        ink.setAlphaF(float(0.65 * v + 0.35));
        const RampGlyphs& glyphs = rampGlyphs(charFont);
        painter.setFont(charFont);
        painter.setPen(ink);
        // A static text's position is its line's top, as TextRun draws.
        painter.drawStaticText(QPointF(c.centre.x() - glyphs.widths[size_t(index)] / 2, c.centre.y() - glyphs.height / 2),
                               glyphs.texts[size_t(index)]);
    }
}
