#include "platform/Resampler.h"
#include "platform/SpeechRecognizer.h"

#include <algorithm>
#include <cmath>

struct SpeechResampler::Impl {
    std::unique_ptr<Resampler> resampler;
    std::vector<float> mono;
};

SpeechResampler::SpeechResampler()
    : impl_(std::make_unique<Impl>())
{
}

SpeechResampler::~SpeechResampler() = default;

std::vector<std::int16_t> SpeechResampler::convert(const float* interleaved, std::int64_t frames, int rate, int channels)
{
    if (!impl_->resampler || !impl_->resampler->accepts(rate, channels))
        impl_->resampler = std::make_unique<Resampler>(rate, channels, SpeechRecognizer::sampleRate);
    impl_->mono.clear();
    impl_->resampler->convert(interleaved, frames, impl_->mono);
    std::vector<std::int16_t> out(impl_->mono.size());
    std::transform(impl_->mono.begin(), impl_->mono.end(), out.begin(),
                   [](float v) { return std::int16_t(std::lround(std::clamp(v, -1.0f, 1.0f) * 32767.0f)); });
    return out;
}
