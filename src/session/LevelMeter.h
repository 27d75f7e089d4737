#pragma once

#include "session/LevelTrack.h"

#include <cstdint>
#include <vector>

// One RMS value per completed window of samples; a window still open has no
// value and is never flushed. Not locked: one thread feeds it.
class LevelMeter {
public:
    explicit LevelMeter(double window = LevelTrack::standardWindow, double sampleRate = 48000);

    double window() const { return window_; }
    int64_t samplesPerWindow() const { return per_; }

    void feed(const float* samples, int64_t count);
    // The same as feeding `frames` zeros, without touching memory per sample.
    void feedSilence(int64_t frames);

    std::vector<float> rms;

private:
    void complete();

    double window_;
    double acc_ = 0;
    int64_t n_ = 0;
    int64_t per_ = 12000;
};
