#pragma once

#include "platform/AudioSource.h"
#include "platform/CaptureTimeline.h"

#include <mutex>
#include <optional>
#include <pulse/pulseaudio.h>

// Captures from a PulseAudio server (PipeWire's pulse server too) on its own
// threaded main loop: the monitor of the default output, or the default input.
class PulseSource final : public AudioSource {
public:
    enum class Kind {
        // The default sink's monitor as 48 kHz stereo; follows the default sink.
        SystemAudio,
        // The default source in its own rate and channel count, in buffers of
        // 4096 frames; stays on that source and reports when the default changes.
        Microphone,
    };
    static constexpr int micBufferFrames = 4096;

    explicit PulseSource(Kind kind);
    ~PulseSource() override;

    Format format() override;
    void start(Handlers handlers) override;
    void stop() override;

private:
    // Everything below runs with the main loop's lock held.
    bool connect(QString* error);
    void teardown();
    // The device to record from; `followed` receives the default it stands for.
    Format resolve(QString* followed = nullptr);
    void wait(pa_operation* op);
    void interrupt(const QString& reason);
    void read();
    void serverChanged(const pa_server_info* info);
    void follow(const QString& sink);

    const Kind kind_;
    std::mutex api_; // one caller of format/start/stop at a time
    pa_threaded_mainloop* loop_ = nullptr;
    pa_context* context_ = nullptr;
    pa_stream* stream_ = nullptr;
    Handlers handlers_;
    std::optional<CaptureTimeline> timeline_;
    int channels_ = 0;
    int rate_ = 0;
    QString followed_; // the default sink (system audio) or source (microphone) at start
    bool running_ = false;
    bool interrupted_ = false;
};
