#pragma once

#include <QDateTime>
#include <QTimeZone>
#include <limits>
#include <atomic>

// How alive the running recording is, for the status orbs: a microphone level
// that rises at once and falls slowly, and the time of the last activity pulse.
// Each field is one atomic value: the tap thread feeds, the main thread reads
// when it redraws, and a late value only changes one frame of an animation.
class LiveMeter {
public:
    LiveMeter() = default;
    static LiveMeter& shared();

    // One RMS value (linear) of a microphone buffer; −52 dBFS and below is 0,
    // −12 dBFS and above is 1. Takes no lock and allocates nothing.
    void feedMic(float rms);
    void pulse();

    float mic() const { return mic_.load(std::memory_order_relaxed); }
    void setMic(float level) { mic_.store(level, std::memory_order_relaxed); }
    QDateTime pulseAt() const;
    bool active() const { return active_.load(std::memory_order_relaxed); }
    void setActive(bool on) { active_.store(on, std::memory_order_relaxed); }

private:
    // The audio thread must never wait on a reader, nor a reader on it.
    static_assert(std::atomic<float>::is_always_lock_free && std::atomic<qint64>::is_always_lock_free
                  && std::atomic<bool>::is_always_lock_free);
    std::atomic<float> mic_{0};
    // Milliseconds since the epoch; the lowest value stands for the distant past.
    std::atomic<qint64> pulseAt_{std::numeric_limits<qint64>::min()};
    std::atomic<bool> active_{false};
};
