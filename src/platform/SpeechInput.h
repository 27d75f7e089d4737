#pragma once

#include <QString>
#include <cstdint>
#include <functional>
#include <memory>

// The default microphone as 16 kHz mono 16-bit sound, for speech commands.
class SpeechInput {
public:
    static constexpr int bufferFrames = 2048;
    using Handler = std::function<void(const std::int16_t* samples, std::size_t count)>;

    virtual ~SpeechInput() = default;
    // Whether there is a default input device now; never throws.
    virtual bool hasDevice() = 0;
    // Starts capturing; the handler gets buffers of bufferFrames samples on the
    // capture thread. Throws CaptureError when the stream cannot be opened.
    virtual void start(Handler handler) = 0;
    // When it returns, the handler runs no more. Harmless when not started.
    virtual void stop() = 0;

    // A PulseAudio record stream tagged as ours.
    static std::unique_ptr<SpeechInput> create();
};
