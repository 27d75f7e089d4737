#pragma once

#include "platform/MicUsage.h"

#include <functional>
#include <mutex>
#include <pulse/pulseaudio.h>

// MicUsage on a PulseAudio server (PipeWire's pulse server too). One threaded main
// loop and one connection live as long as the object; a broken connection is made
// anew at the next question. Each question, connecting included, waits at most
// `timeoutMs`.
class PulseMicUsage final : public MicUsage {
public:
    // An empty server means the desktop's own.
    explicit PulseMicUsage(const QString& server = {}, int timeoutMs = 250);
    ~PulseMicUsage() override;
    PulseMicUsage(const PulseMicUsage&) = delete;
    PulseMicUsage& operator=(const PulseMicUsage&) = delete;

    std::optional<quint32> defaultInputDevice() override;
    std::optional<bool> inputRunningSomewhere() override;
    std::optional<std::vector<Proc>> processesUsingInput() override;

    struct Snapshot;

private:
    // The server's default source, its sources and (when asked) its source outputs.
    std::optional<Snapshot> snapshot(bool outputs);
    // With the main loop's lock held.
    bool connect(pa_usec_t deadline);
    void dropContext();
    bool waitUntil(pa_usec_t deadline, const std::function<bool()>& done);

    const QByteArray server_;
    const int timeoutMs_;
    std::mutex api_; // one question at a time
    pa_threaded_mainloop* loop_ = nullptr;
    pa_context* context_ = nullptr;
};
