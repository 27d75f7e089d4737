#pragma once

#include "platform/CaptureBuffer.h"

#include <cstdint>
#include <vector>

// Places captured sound on the host media clock and cuts it into buffers.
//
// The sound server says when the first frame of each read was heard; that figure
// jitters by a few milliseconds. Frames are therefore counted from an anchor, and
// the anchor moves only when the reported time strays further than `tolerance`
// (lost data, a moved stream, clock drift), so buffers line up sample-exactly
// while the stream runs smoothly and never drift far from the truth.
class CaptureTimeline {
public:
    // `framesPerBuffer` 0 hands out each read as it came.
    CaptureTimeline(int sampleRate, int channels, int framesPerBuffer = 0, double tolerance = 0.02);

    // `data` holds `frames` interleaved frames just read, the first of which was heard
    // at `heardAt` (host seconds). Returns the buffers these frames complete; a buffer
    // cut short by a jump in time comes out on its own, before the jump.
    std::vector<CaptureBuffer> push(const float* data, std::int64_t frames, double heardAt);

    // Data was lost: the next push starts a new anchor.
    void lose() { anchored_ = false; }

private:
    CaptureBuffer fresh() const;

    int rate_;
    int channels_;
    int per_;
    double tolerance_;
    bool anchored_ = false;
    double anchor_ = 0;
    std::int64_t counted_ = 0; // frames since the anchor
    CaptureBuffer pending_;
};
