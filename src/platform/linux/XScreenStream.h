#pragma once

#include "platform/ScreenStream.h"

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

class XDisplay;
class XGrabber;

// Grabs one display of an X server on a thread of its own, at most once per
// configured interval and only while fewer frames than the queue depth are alive.
class XScreenStream final : public ScreenStream {
public:
    // An empty display name means $DISPLAY.
    XScreenStream(CaptureDisplay display, StreamConfig config, QString displayName = {});
    ~XScreenStream() override;

    void start(Handlers handlers) override;
    void stop() override;

private:
    void run();

    const CaptureDisplay display_;
    const StreamConfig config_;
    const QString displayName_;
    Handlers handlers_;
    std::unique_ptr<XDisplay> x_;
    std::unique_ptr<XGrabber> grabber_;
    std::shared_ptr<std::atomic<int>> alive_ = std::make_shared<std::atomic<int>>(0);
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::thread thread_;
};
