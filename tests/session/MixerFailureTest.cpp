// A mix that fails with something other than a media error: this program's own
// Resampler stands in for the platform's and fails on its second block.
#include "platform/Resampler.h"
#include "session/Mixer.h"
#include "support/TestSupport.h"
#include "AudioFixture.h"

#include <QDir>
#include <gtest/gtest.h>
#include <stdexcept>

struct Resampler::Impl {
    int calls = 0;
};

Resampler::Resampler(double inputRate, int inputChannels, int outputRate)
    : impl_(std::make_unique<Impl>())
    , inputRate_(inputRate)
    , inputChannels_(inputChannels)
    , outputRate_(outputRate)
{
}
Resampler::~Resampler() = default;

void Resampler::convert(const float* interleaved, int64_t frames, std::vector<float>& out)
{
    if (++impl_->calls > 1)
        throw std::runtime_error("out of memory");
    for (int64_t i = 0; i < frames; ++i)
        out.push_back(interleaved[i * inputChannels_]);
}

std::string Resampler::describe(double rate, int channels)
{
    return std::to_string(rate) + " Hz, " + std::to_string(channels) + " ch";
}

TEST(MixerFailure, NoHiddenPartialFileStaysBehind)
{
    TempSupport dir;
    writeFile(dir.file("in.wav"), wav(tone(48000, 1, 3.0, 440, 0.3f)));
    EXPECT_THROW(Mixer::mix({{dir.file("in.wav"), 0}}, dir.file("mixed.m4a")), std::runtime_error);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"in.wav"});
}
