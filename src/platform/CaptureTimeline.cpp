#include "platform/CaptureTimeline.h"

#include <algorithm>

CaptureTimeline::CaptureTimeline(int sampleRate, int channels, int framesPerBuffer, double tolerance)
    : rate_(std::max(sampleRate, 1))
    , channels_(std::max(channels, 1))
    , per_(std::max(framesPerBuffer, 0))
    , tolerance_(tolerance)
    , pending_(fresh())
{
}

CaptureBuffer CaptureTimeline::fresh() const
{
    CaptureBuffer b;
    b.sampleRate = rate_;
    b.channels = channels_;
    return b;
}

std::vector<CaptureBuffer> CaptureTimeline::push(const float* data, std::int64_t frames, double heardAt)
{
    std::vector<CaptureBuffer> out;
    if (frames <= 0)
        return out;
    const double off = heardAt - (anchor_ + double(counted_) / rate_);
    late_ = off > tolerance_ ? late_ + 1 : 0;
    if (!anchored_ || off < -tolerance_ || late_ >= lateReads) {
        // The frames held so far belong before the jump; they leave as they are.
        if (!pending_.samples.empty()) {
            out.push_back(std::move(pending_));
            pending_ = fresh();
        }
        anchored_ = true;
        anchor_ = heardAt;
        counted_ = 0;
        late_ = 0;
    }

    std::int64_t done = 0;
    while (done < frames) {
        if (pending_.samples.empty())
            pending_.hostTime = anchor_ + double(counted_) / rate_;
        const std::int64_t room = per_ > 0 ? per_ - pending_.frames() : frames - done;
        const std::int64_t take = std::min(room, frames - done);
        pending_.samples.insert(pending_.samples.end(), data + done * channels_, data + (done + take) * channels_);
        done += take;
        counted_ += take;
        if (per_ == 0 || pending_.frames() == per_) {
            out.push_back(std::move(pending_));
            pending_ = fresh();
        }
    }
    return out;
}
