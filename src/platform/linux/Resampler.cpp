#include "platform/Resampler.h"

#include "platform/MediaError.h"
#include "platform/linux/FFmpeg.h"

#include <cmath>
#include <cstdio>
#include <optional>

struct Resampler::Impl {
    std::optional<FFmpeg::Use> use; // only for a conversion between rates
    SwrContext* swr = nullptr;
    ~Impl()
    {
        if (const FFmpeg::Api* ff = FFmpeg::loaded())
            ff->swr_free(&swr);
    }
};

std::string Resampler::describe(double rate, int channels)
{
    char text[96];
    std::snprintf(text, sizeof text, "%g Hz, %d ch, float", rate, channels);
    return text;
}

Resampler::Resampler(double inputRate, int inputChannels, int outputRate)
    : impl_(std::make_unique<Impl>())
    , inputRate_(inputRate)
    , inputChannels_(inputChannels)
    , outputRate_(outputRate)
{
    const bool wholeRate = std::isfinite(inputRate) && inputRate >= 1 && inputRate <= 1'000'000
        && inputRate == std::floor(inputRate);
    if (!wholeRate || inputChannels < 1 || inputChannels > 64 || outputRate < 1)
        throw MediaError("no conversion from " + describe(inputRate, inputChannels));
    if (int(inputRate) == outputRate)
        return;
    impl_->use.emplace();
    AVChannelLayout mono = AV_CHANNEL_LAYOUT_MONO;
    if (FFmpeg::api().swr_alloc_set_opts2(&impl_->swr, &mono, AV_SAMPLE_FMT_FLT, outputRate, &mono, AV_SAMPLE_FMT_FLT, int(inputRate),
                            0, nullptr)
            < 0
        || FFmpeg::api().swr_init(impl_->swr) < 0)
        throw MediaError("no conversion from " + describe(inputRate, inputChannels));
}

Resampler::~Resampler() = default;

void Resampler::convert(const float* interleaved, int64_t frames, std::vector<float>& out)
{
    if (frames <= 0)
        return;
    // Channels are averaged, so a source that carries the same sound on every
    // channel keeps its level and a loud stereo source cannot clip the mono track.
    const float* mono = interleaved;
    if (inputChannels_ > 1) {
        mono_.resize(size_t(frames));
        const float scale = 1.0f / float(inputChannels_);
        for (int64_t i = 0; i < frames; ++i) {
            const float* frame = interleaved + i * inputChannels_;
            float sum = 0;
            for (int c = 0; c < inputChannels_; ++c)
                sum += frame[c];
            mono_[size_t(i)] = sum * scale;
        }
        mono = mono_.data();
    }
    if (!impl_->swr) {
        out.insert(out.end(), mono, mono + frames);
        return;
    }
    const int capacity = FFmpeg::api().swr_get_out_samples(impl_->swr, int(frames));
    if (capacity < 0)
        throw MediaError("convert failed");
    const size_t start = out.size();
    out.resize(start + size_t(capacity));
    auto* dst = reinterpret_cast<uint8_t*>(out.data() + start);
    const auto* src = reinterpret_cast<const uint8_t*>(mono);
    const int got = FFmpeg::api().swr_convert(impl_->swr, &dst, capacity, &src, int(frames));
    if (got < 0) {
        out.resize(start);
        throw MediaError("convert failed");
    }
    out.resize(start + size_t(got));
}
