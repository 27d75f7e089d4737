#include "session/Speaking.h"

#include "core/Numbers.h"

#include <algorithm>

namespace Speaking {

namespace {

struct Builder {
    double mergeGap;
    double window;
    bool open = false;
    double start = 0;
    double end = 0;
    std::vector<Span> list;

    void take(double t, bool on)
    {
        if (!open) {
            if (on) {
                open = true;
                start = t;
                end = t + window;
            }
            return;
        }
        if (t - end <= mergeGap) {
            if (on)
                end = t + window;
            return;
        }
        list.push_back({start, end});
        open = on;
        if (on) {
            start = t;
            end = t + window;
        }
    }

    std::vector<Span> finish(double minLen)
    {
        if (open)
            list.push_back({start, end});
        std::vector<Span> kept;
        for (const Span& s : list) {
            if (s.end - s.t >= minLen)
                kept.push_back({round1(s.t), round1(s.end)});
        }
        return kept;
    }
};

} // namespace

Spans spans(const std::optional<LevelTrack>& mic, const std::optional<LevelTrack>& tab, double window, double mergeGap,
            double minLen)
{
    const double end = std::max(mic ? mic->end() : 0.0, tab ? tab->end() : 0.0);
    if (!(end > 0))
        return {};
    Builder tabSide{mergeGap, window};
    Builder micSide{mergeGap, window};
    for (int64_t i = 0;; ++i) {
        const double t = double(i) * window;
        if (i > 0 && !(t < end))
            break;
        const bool tabOn = (tab ? tab->value(t) : 0.0f) > tabThreshold;
        const bool micOn = !tabOn && (mic ? mic->value(t) : 0.0f) > micThreshold;
        tabSide.take(t, tabOn);
        micSide.take(t, micOn);
    }
    Spans out;
    out.tab = tabSide.finish(minLen);
    out.mic = micSide.finish(minLen);
    return out;
}

} // namespace Speaking
