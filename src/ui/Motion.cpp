#include "ui/Motion.h"

#include "platform/DesktopLook.h"

#include <QPointer>
#include <QVariantAnimation>
#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

// Settling: the spring's envelope falls below 0.1 % at ln(1000) / (ζ ω0).
double settleSeconds(double response, double damping)
{
    const double omega = 2 * std::numbers::pi / response;
    return std::log(1000.0) / (damping * omega);
}

// An under-damped spring from 0 to 1, at time t seconds.
double springAt(double t, double response, double damping)
{
    const double omega = 2 * std::numbers::pi / response;
    const double decay = damping * omega;
    const double wd = omega * std::sqrt(1 - damping * damping);
    return 1 - std::exp(-decay * t) * (std::cos(wd * t) + decay / wd * std::sin(wd * t));
}

// QEasingCurve takes a plain function, so each spring gets its own instance.
template <int responseMs, int dampingPermille>
qreal springCurve(qreal progress)
{
    constexpr double response = responseMs / 1000.0;
    constexpr double damping = dampingPermille / 1000.0;
    if (progress >= 1)
        return 1;
    return springAt(progress * settleSeconds(response, damping), response, damping);
}

Animation easeOut(double seconds)
{
    return {.kind = Animation::Kind::easeOut, .duration = seconds};
}

Animation spring(double response, double damping)
{
    return {.kind = Animation::Kind::spring, .response = response, .damping = damping};
}

} // namespace

int Animation::msecs() const
{
    const double seconds = kind == Kind::spring ? settleSeconds(response, damping) : duration;
    return int(std::lround(seconds * 1000));
}

QEasingCurve Animation::curve() const
{
    if (kind == Kind::easeOut)
        return QEasingCurve(QEasingCurve::OutCubic);
    if (kind == Kind::easeIn)
        return QEasingCurve(QEasingCurve::InCubic);
    QEasingCurve c;
    if (*this == ::spring(0.32, 0.82))
        c.setCustomType(springCurve<320, 820>);
    else if (*this == ::spring(0.22, 0.9))
        c.setCustomType(springCurve<220, 900>);
    else
        c = QEasingCurve(QEasingCurve::OutCubic);
    return c;
}

void Animation::play(QVariantAnimation& anim, qreal from, qreal to) const
{
    anim.stop();
    anim.setStartValue(from);
    anim.setEndValue(to);
    anim.setDuration(std::max(1, msecs()));
    anim.setEasingCurve(curve());
    anim.start();
}

namespace Motion {

bool reduced()
{
    const QByteArray forced = qgetenv("ZELVAN_REDUCE_MOTION");
    if (forced == "1")
        return true;
    if (forced == "0")
        return false;
    return DesktopLook::reduceMotion();
}

void onChange(QObject* context, std::function<void()> changed)
{
    DesktopLook::onMotionChange([context = QPointer<QObject>(context), changed = std::move(changed)] {
        if (context)
            changed();
    });
}

Animation spring()
{
    return reduced() ? easeOut(0.12) : ::spring(0.32, 0.82);
}

Animation quick()
{
    return reduced() ? easeOut(0.1) : ::spring(0.22, 0.9);
}

} // namespace Motion
