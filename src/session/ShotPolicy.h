#pragma once

#include "session/LevelTrack.h"
#include "session/OCR.h"

#include <QByteArray>
#include <QImage>
#include <QString>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

// Which screen frames a recording keeps and when an automatic pin is armed and
// saved. Holds only the memory of what it kept; no queue, thread or clock of its
// own: the recorder calls it from its capture queue with the time of the call.
class ShotPolicy {
public:
    // Signature difference at or above which a kept frame is a strong change.
    static constexpr float strongChange = 0.12f;
    // Seconds of session time between two automatic pins.
    static constexpr double autoPinGap = 120.0;
    // Seconds after arming before an automatic pin is settled.
    static constexpr double autoPinDelay = 10.0;
    // Frames closer than this to the last one looked at are dropped unseen.
    static constexpr double frameGap = 1.8;
    // Seconds between two fast text checks of frames that barely moved.
    static constexpr double textCheckGap = 4.0;

    static inline const QString autoPinPrefix = QStringLiteral("Auto: slide/page changed — ");

    // Reads the text of an image (fast or accurate).
    using TextReader = std::function<OCR::Reading(const QImage& image, bool fast)>;

    struct Shot {
        QByteArray jpeg;
        bool strong = false; // the screen changed a lot, or its text did
    };

    struct PendingPin {
        double t = 0; // session time
        QString note;
        QByteArray jpeg;
        double due = 0; // monotonic clock
    };

    explicit ShotPolicy(TextReader read);

    // While a private window is in front no frame is kept.
    void setFrontPrivate(bool isPrivate) { frontPrivate_ = isPrivate; }

    // Whether a frame grabbed at `hostTime` and looked at `now` (both on the
    // monotonic clock) is kept, with `shots` already kept: its JPEG and whether it
    // changed strongly. A kept frame becomes the one the next are compared with.
    std::optional<Shot> consider(const QImage& image, double now, double hostTime, int shots);

    // The accurate text of a kept frame at session time t: arms an automatic pin
    // on a new title after a strong change (when enabled and none is armed) and
    // remembers the title.
    void noteTitle(double t, const std::optional<QString>& title, bool strong, const QByteArray& jpeg, bool enabled,
                   double now);
    bool armed() const { return pending_.has_value(); }
    // The armed pin once its time has come (always, when `now` is absent), disarmed.
    std::optional<PendingPin> takeDue(std::optional<double> now);
    // Whether a taken pin is saved: someone spoke around it and the last pin is
    // far enough back. A saved pin becomes the last one.
    bool confirm(const PendingPin& pin, const LevelTrack& mic, const LevelTrack& system);

    // Whether the text of a kept frame is worth storing: not a near duplicate of
    // the last stored one, which it then becomes.
    bool keepText(const QString& text);

    // True when the title reads as a new slide or page after `previous`.
    static bool isTitleChange(const QString& title, const QString& previous);
    // Whether either side spoke within `window` seconds of t: the system audio above
    // its threshold, else the microphone above its own, in steps of one level window.
    static bool speech(double t, const LevelTrack& mic, const LevelTrack& system, double window = 10);

private:
    const TextReader read_;
    std::optional<std::vector<float>> lastSig_;
    std::optional<std::vector<std::uint8_t>> lastFine_;
    std::optional<QImage> lastKeptImage_;
    std::optional<QString> lastKeptFast_;
    double lastTextCheck_ = 0;
    double lastFrameAt_ = 0;
    bool frontPrivate_ = false;
    std::optional<QString> lastTitle_;
    double lastAutoPinT_ = -1000;
    std::optional<PendingPin> pending_;
    std::optional<QString> lastOcrText_;
};
