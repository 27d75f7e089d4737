#pragma once

#include "platform/CaptureBuffer.h"

#include <cstdint>
#include <vector>

// Places captured sound on the host media clock and cuts it into buffers.
//
// Each read comes with the time its first frame was heard as far as the reader can
// tell; that figure is late by however long the reading thread was held up. Frames
// are therefore counted from an anchor, so buffers line up sample-exactly while the
// stream runs smoothly, and the anchor moves only when the reports say it is wrong:
// at once when a frame was evidently heard earlier than counted (the anchor read was
// held up), and when frames are later than counted for several reads in a row (lost
// data nobody reported, or the two clocks drifting apart). Reported losses re-anchor
// on the next read.
class CaptureTimeline {
public:
    // `framesPerBuffer` 0 hands out each read as it came.
    CaptureTimeline(int sampleRate, int channels, int framesPerBuffer = 0, double tolerance = 0.02);

    // `data` holds `frames` interleaved frames just read, the first of which was heard
    // at `heardAt` (host seconds). Returns the buffers these frames complete; a buffer
    // cut short by a move of the anchor comes out on its own, before the move.
    std::vector<CaptureBuffer> push(const float* data, std::int64_t frames, double heardAt);

    // Data was lost: the next push starts a new anchor.
    void lose() { anchored_ = false; }

    // Reads in a row that must come late before the anchor follows them.
    static constexpr int lateReads = 3;

private:
    CaptureBuffer fresh() const;

    int rate_;
    int channels_;
    int per_;
    double tolerance_;
    bool anchored_ = false;
    double anchor_ = 0;
    std::int64_t counted_ = 0; // frames since the anchor
    int late_ = 0;             // reads in a row later than counted
    CaptureBuffer pending_;
};
