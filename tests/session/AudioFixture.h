#pragma once

#include "platform/PcmBuffer.h"

#include <cmath>
#include <functional>

// A sine tone: frame i sounds at t = i / rate + startAt when on(t), the same on
// every channel, so blocks made for consecutive stretches join without a jump.
inline PcmBuffer tone(double rate, int channels, double seconds, double freq, float amp,
                      const std::function<bool(double)>& on = [](double) { return true; }, double startAt = 0)
{
    PcmBuffer b{rate, channels, {}};
    const auto frames = size_t(uint32_t(rate * seconds));
    b.samples.resize(frames * size_t(channels));
    for (size_t i = 0; i < frames; ++i) {
        const double t = double(i) / rate + startAt;
        const float x = on(t) ? float(std::sin(freq * 2 * M_PI * t)) * amp : 0.0f;
        for (int c = 0; c < channels; ++c)
            b.samples[i * size_t(channels) + size_t(c)] = x;
    }
    return b;
}

inline PcmBuffer silence(double rate, int channels, double seconds)
{
    return tone(rate, channels, seconds, 0, 0);
}
