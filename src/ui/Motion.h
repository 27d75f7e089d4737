#pragma once

#include <QEasingCurve>
#include <functional>

class QObject;

class QVariantAnimation;

// One of the kit's animations: a short ease-out, or a spring given by its
// response (seconds per oscillation) and damping fraction.
struct Animation {
    enum class Kind { easeOut, easeIn, spring };
    Kind kind = Kind::easeOut;
    double duration = 0; // ease-out, ease-in: its length in seconds
    double response = 0; // spring
    double damping = 0;  // spring

    // How long it runs: an ease's duration; a spring until it is within
    // 0.1 % of its target.
    int msecs() const;
    // Progress 0 → 1 over msecs(); a spring's curve may overshoot slightly.
    QEasingCurve curve() const;
    // Restarts `anim` from `from` to `to` with this length and curve.
    void play(QVariantAnimation& anim, qreal from, qreal to) const;

    bool operator==(const Animation&) const = default;
};

// The two animations of the kit, which become short ease-outs when the desktop
// asks for reduced motion. A change of the desktop setting shows at the next
// animation.
namespace Motion {

// ZELVAN_REDUCE_MOTION=1|0, else GNOME's enable-animations turned off (read
// once and followed, not asked on every frame).
bool reduced();

// Runs `changed` while `context` lives, whenever the desktop's setting changes.
void onChange(QObject* context, std::function<void()> changed);

Animation spring(); // reduced: 0.12 s ease-out; else response 0.32, damping 0.82
Animation quick();  // reduced: 0.1 s ease-out; else response 0.22, damping 0.9

} // namespace Motion
