#pragma once

#include "platform/PcmBuffer.h"

#include <QByteArray>
#include <algorithm>

#include <cmath>
#include <functional>

// A sine tone: frame i sounds at t = i / rate + startAt when on(t), the same on
// every channel, so blocks made for consecutive stretches join without a jump.
inline PcmBuffer tone(
    double rate, int channels, double seconds, double freq, float amp,
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

// The buffer as a 16-bit PCM WAV file, to read back uncompressed audio.
inline QByteArray wav(const PcmBuffer& b)
{
    QByteArray data;
    for (float x : b.samples) {
        const auto v = int16_t(std::lround(std::clamp(x, -1.0f, 1.0f) * 32767));
        data.append(reinterpret_cast<const char*>(&v), 2);
    }
    auto u32 = [](uint32_t v) { return QByteArray(reinterpret_cast<const char*>(&v), 4); };
    auto u16 = [](uint16_t v) { return QByteArray(reinterpret_cast<const char*>(&v), 2); };
    const auto rate = uint32_t(b.sampleRate);
    const auto ch = uint16_t(b.channels);
    return "RIFF" + u32(uint32_t(36 + data.size())) + "WAVEfmt " + u32(16) + u16(1) + u16(ch) + u32(rate)
        + u32(rate * ch * 2) + u16(uint16_t(ch * 2)) + u16(16) + "data" + u32(uint32_t(data.size())) + data;
}
