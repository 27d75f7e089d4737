#pragma once

#include "platform/PcmBuffer.h"

// A run of captured sound: a PCM block with the host media-clock time
// (MediaClock) at which its first frame was heard.
struct CaptureBuffer : PcmBuffer {
    double hostTime = 0;
};
