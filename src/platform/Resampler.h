#pragma once

#include "platform/PcmBuffer.h"

#include <memory>
#include <string>
#include <vector>

// Converts interleaved float PCM of one input format to mono at a fixed output
// rate: channels are averaged, then the rate is converted. Samples the filter
// holds back come out with the next call, so a stream of blocks converts as one.
class Resampler {
public:
    // Throws MediaError when no conversion between the two formats exists.
    Resampler(double inputRate, int inputChannels, int outputRate = 48000);
    ~Resampler();
    Resampler(const Resampler&) = delete;
    Resampler& operator=(const Resampler&) = delete;

    double inputRate() const { return inputRate_; }
    int inputChannels() const { return inputChannels_; }
    bool accepts(double rate, int channels) const { return rate == inputRate_ && channels == inputChannels_; }

    // Appends the converted mono samples of `frames` input frames to `out`;
    // throws MediaError when the conversion fails.
    void convert(const float* interleaved, int64_t frames, std::vector<float>& out);

    // "44100 Hz, 2 ch, float": how a format is named in error texts.
    static std::string describe(double rate, int channels);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    double inputRate_;
    int inputChannels_;
    int outputRate_;
    std::vector<float> mono_;
};
