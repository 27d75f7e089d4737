#pragma once

#include "session/LevelTrack.h"
#include "session/SessionMeta.h"

#include <optional>
#include <vector>

// Who spoke when, from the level curves of the two sides: the system audio
// (`tab`, the other side of a call) and the microphone (the user).
namespace Speaking {

// RMS levels of 0.25 s windows above which a side counts as speaking; the
// microphone counts only while the system audio is below its own threshold.
constexpr float tabThreshold = 0.006f;
constexpr float micThreshold = 0.018f;

struct Spans {
    std::vector<Span> mic;
    std::vector<Span> tab;
};

// Loud windows joined across pauses of up to mergeGap seconds; spans shorter than
// minLen dropped; bounds rounded to 0.1 s. Pure.
Spans spans(const std::optional<LevelTrack>& mic, const std::optional<LevelTrack>& tab,
            double window = LevelTrack::standardWindow, double mergeGap = 0.8, double minLen = 0.4);

} // namespace Speaking
