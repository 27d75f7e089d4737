#include "session/ShotPolicy.h"

#include "session/CapturePause.h"
#include "session/Frames.h"
#include "session/Speaking.h"

ShotPolicy::ShotPolicy(TextReader read)
    : read_(std::move(read))
{
}

std::optional<ShotPolicy::Shot> ShotPolicy::consider(const QImage& image, double now, double hostTime, int shots)
{
    if (shots > Frames::maxShots - 1)
        return std::nullopt;
    // Neither the name nor the content of a private window may reach the session.
    if (frontPrivate_)
        return std::nullopt;
    if (image.isNull())
        return std::nullopt;
    // Grabbed while the pin capture was up or settling: it shows the picker or the
    // note dialog, not the work.
    if (CapturePause::covers(hostTime))
        return std::nullopt;
    if (now - lastFrameAt_ < frameGap)
        return std::nullopt;
    lastFrameAt_ = now;

    std::vector<float> sig = Frames::signature(image);
    std::vector<std::uint8_t> fine = Frames::fine(image);
    if (sig.empty() || fine.empty())
        return std::nullopt;
    bool strong = false;
    std::optional<QString> fastText;

    if (lastSig_) {
        const float d = Frames::diff(sig, *lastSig_);
        if (d >= Frames::changeThreshold) {
            strong = d >= strongChange;
        } else {
            if (!lastFine_ || Frames::changedRatio(fine, *lastFine_) < Frames::fineCandidate)
                return std::nullopt;
            if (now - lastTextCheck_ < textCheckGap)
                return std::nullopt;
            lastTextCheck_ = now;
            const QString text = read_(image, true).text;
            if (!lastKeptFast_ && lastKeptImage_)
                lastKeptFast_ = read_(*lastKeptImage_, true).text;
            if (text.isEmpty())
                return std::nullopt;
            if (OCR::similarity(text, lastKeptFast_.value_or(QString())) >= Frames::textKeepSimilarity)
                return std::nullopt;
            strong = true;
            fastText = text;
        }
    }

    std::optional<QByteArray> jpeg = Frames::jpeg(image, 0.6);
    if (!jpeg)
        return std::nullopt;
    lastSig_ = std::move(sig);
    lastFine_ = std::move(fine);
    lastKeptImage_ = image;
    lastKeptFast_ = fastText;
    return Shot{std::move(*jpeg), strong};
}

bool ShotPolicy::isTitleChange(const QString& title, const QString& previous)
{
    return OCR::similarity(title, previous) < 0.5;
}

void ShotPolicy::noteTitle(double t, const std::optional<QString>& title, bool strong, const QByteArray& jpeg,
                           bool enabled, double now)
{
    if (enabled && strong && !pending_) {
        if (!title)
            return;
        if (lastTitle_ && isTitleChange(*title, *lastTitle_) && t - lastAutoPinT_ >= autoPinGap) {
            pending_ = PendingPin{t, autoPinPrefix + *title, jpeg, now + autoPinDelay};
            lastTitle_ = title;
            return;
        }
        lastTitle_ = title;
        return;
    }
    if (title)
        lastTitle_ = title;
}

std::optional<ShotPolicy::PendingPin> ShotPolicy::takeDue(std::optional<double> now)
{
    if (!pending_ || (now && *now < pending_->due))
        return std::nullopt;
    std::optional<PendingPin> pin = std::move(pending_);
    pending_.reset();
    return pin;
}

bool ShotPolicy::confirm(const PendingPin& pin, const LevelTrack& mic, const LevelTrack& system)
{
    if (!speech(pin.t, mic, system, 10) || pin.t - lastAutoPinT_ < autoPinGap)
        return false;
    lastAutoPinT_ = pin.t;
    return true;
}

bool ShotPolicy::keepText(const QString& text)
{
    if (OCR::isNearDuplicate(text, lastOcrText_))
        return false;
    lastOcrText_ = text;
    return true;
}

bool ShotPolicy::speech(double t, const LevelTrack& mic, const LevelTrack& system, double window)
{
    double lo = t - window;
    const double hi = t + window;
    if (lo < 0) {
        lo = 0;
        if (hi < 0)
            return false;
    }
    if (lo > hi)
        return false;
    // Counted in steps rather than summed, so each step lands exactly.
    for (int64_t k = 0;; ++k) {
        const double s = lo + LevelTrack::standardWindow * double(k);
        if (s > hi)
            break;
        if (system.value(s) > Speaking::tabThreshold)
            return true;
        if (mic.value(s) > Speaking::micThreshold)
            return true;
    }
    return false;
}
