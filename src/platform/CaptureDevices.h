#pragma once

#include "platform/AudioSource.h"
#include "platform/ScreenStream.h"

#include <memory>
#include <vector>

// Where a recording gets its screen and sound from. The recorder takes one of these
// so that tests can hand it fakes; system() gives the real ones.
class CaptureDevices {
public:
    virtual ~CaptureDevices() = default;

    // The displays that can be captured. Throws CaptureError when there is no
    // screen to capture at all (no X display).
    virtual std::vector<CaptureDisplay> displays() = 0;
    virtual std::unique_ptr<ScreenStream> screenStream(const CaptureDisplay& display, const StreamConfig& config) = 0;
    // The default output's sound, 48 kHz stereo, following the default output when it changes.
    virtual std::unique_ptr<AudioSource> systemAudio() = 0;
    // The default input, in its own format, in buffers of 4096 frames.
    virtual std::unique_ptr<AudioSource> microphone() = 0;

    // X11 screens and the PulseAudio server of this desktop.
    static CaptureDevices& system();
};
