#pragma once

#include <cstdint>
#include <vector>

// A block of PCM sound: 32-bit float samples, channels interleaved (frame i,
// channel c at samples[i * channels + c]).
struct PcmBuffer {
    double sampleRate = 48000;
    int channels = 1;
    std::vector<float> samples;

    int64_t frames() const { return channels > 0 ? int64_t(samples.size()) / channels : 0; }
    double seconds() const { return sampleRate > 0 ? double(frames()) / sampleRate : 0; }
};
