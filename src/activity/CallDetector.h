#pragma once

#include "activity/CallHit.h"
#include "platform/MicUsage.h"
#include "platform/Windows.h"

#include <QTimer>
#include <functional>
#include <memory>
#include <optional>

// Watches every 3 s for a call. While nothing is recorded it offers each call
// once (onCallStart); while a recording begun from a call runs, it reports once
// that the call seems over (onCallEnded) after 20 s in which nobody else used the
// microphone. It learns the recording state from its owner's closures and
// decides nothing about recordings itself. Main thread only; its questions to
// the sound server and the window list, which may take a while, go off it.
class CallDetector {
public:
    static constexpr int intervalMs = 3000;
    static constexpr double quietSeconds = 20.0;

    explicit CallDetector(MicUsage& mic = MicUsage::system(), Windows& windows = Windows::system());

    // A recording exists, is starting or is being saved.
    std::function<bool()> isRecording = [] { return false; };
    // The current recording captures the microphone.
    std::function<bool()> recordingUsesMic = [] { return false; };
    // The current recording was begun from a detected call.
    std::function<bool()> recordingFromCall = [] { return false; };
    std::function<void(const CallHit&)> onCallStart = [](const CallHit&) {};
    std::function<void()> onCallEnded = [] {};
    // New calls may be offered.
    std::function<bool()> enabled = [] { return true; };
    // Runs `ask` off the main thread, then `answered` on it. By default on Qt's
    // thread pool; `answered` is dropped when the detector is gone by then.
    using OffMain = std::function<void(std::function<void()> ask, std::function<void()> answered)>;
    OffMain offMain;

    // Starts (or restarts) polling; the first poll comes one interval later.
    void start();
    // A recording begins: its quiet stretch and end prompt start afresh.
    void resetForRecording();
    // A recording was stopped and saved: the call that may still run is not offered again.
    void suppressCurrent();
    // One poll; the timer calls it. Its answer comes later, on the main thread;
    // a poll while one is being answered is skipped.
    void tick();
    bool asking() const { return asking_; }

    // Names the call in progress, or nullopt. Reads the window list once.
    static std::optional<CallHit> identify(MicUsage& mic, Windows& windows);
    static std::optional<CallHit> identify() { return identify(MicUsage::system(), Windows::system()); }

private:
    struct Answer {
        std::optional<bool> busy;
        std::optional<CallHit> hit;
    };
    void heard(const Answer& answer);
    void watched(const Answer& answer);

    MicUsage& mic_;
    Windows& windows_;
    QTimer timer_;
    bool offered_ = false;
    std::optional<double> quietSince_; // monotonic seconds
    bool endPrompted_ = false;
    bool asking_ = false;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};
