#pragma once

#include <vector>

// A level curve on the session's time axis: `rms[i]` covers the window that
// starts at offset + i × window.
struct LevelTrack {
    // The span of one level value wherever levels are measured, stored or compared.
    static constexpr double standardWindow = 0.25;

    double offset = 0;
    std::vector<float> rms;
    double window = standardWindow;

    // The value of the window holding t; 0 outside the curve.
    float value(double t) const;
    double end() const { return offset + double(rms.size()) * window; }
};
