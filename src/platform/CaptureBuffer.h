#pragma once

#include <cstdint>
#include <vector>

// A run of captured sound: interleaved 32-bit float samples, frames × channels,
// with the host media-clock time (MediaClock) at which its first frame was heard.
struct CaptureBuffer {
    int sampleRate = 0;
    int channels = 0;
    std::vector<float> samples;
    double hostTime = 0;

    std::int64_t frames() const { return channels > 0 ? std::int64_t(samples.size()) / channels : 0; }
    double seconds() const { return sampleRate > 0 ? double(frames()) / sampleRate : 0; }
};
