#include "session/LevelMeter.h"

#include <algorithm>
#include <cmath>

LevelMeter::LevelMeter(double window, double sampleRate)
    : window_(window)
    , per_(std::max<int64_t>(1, int64_t(window * sampleRate)))
{
}

void LevelMeter::complete()
{
    rms.push_back(float(std::sqrt(acc_ / double(n_))));
    acc_ = 0;
    n_ = 0;
}

void LevelMeter::feed(const float* samples, int64_t count)
{
    for (int64_t i = 0; i < count; ++i) {
        const double x = samples[i];
        acc_ += x * x;
        if (++n_ == per_)
            complete();
    }
}

void LevelMeter::feedSilence(int64_t frames)
{
    while (frames > 0) {
        const int64_t take = std::min(frames, per_ - n_);
        n_ += take;
        frames -= take;
        if (n_ == per_)
            complete();
    }
}
