#pragma once

#include "platform/CaptureBuffer.h"

#include <QString>
#include <functional>

// One stream of captured sound: the system audio (what the speakers play) or the
// microphone. Both are made by CaptureDevices.
class AudioSource {
public:
    // What start() will deliver. A rate or channel count of 0 means there is no
    // usable device.
    struct Format {
        int sampleRate = 0;
        int channels = 0;
        QString device;
        bool usable() const { return sampleRate > 0 && channels > 0; }
    };

    // Both are called on the source's own capture thread and must return quickly;
    // neither may call start() or stop() of the same source (hand that to another thread).
    struct Handlers {
        // Every captured buffer, in order.
        std::function<void(const CaptureBuffer&)> buffer;
        // Called at most once per start(): the stream failed or lost its server, or
        // (microphone) the default input device changed. Delivery has stopped or
        // follows a device that is no longer the chosen one: stop() and start()
        // again to go on with the current default device.
        std::function<void(const QString& reason)> interrupted;
    };

    virtual ~AudioSource() = default;

    // Asks the sound server for the device start() would use and its format; never
    // throws (no server or no device gives an unusable format). Blocks briefly.
    virtual Format format() = 0;
    // Starts capturing. Throws CaptureError when the stream cannot be opened.
    virtual void start(Handlers handlers) = 0;
    // Stops capturing; when it returns no handler runs any more. Harmless when not started.
    virtual void stop() = 0;
};
