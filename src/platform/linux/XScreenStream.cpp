#include "platform/linux/XScreenStream.h"

#include "platform/CaptureError.h"
#include "platform/linux/XDisplay.h"
#include "platform/linux/XGrabber.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <pthread.h>

namespace {

// Frees a queue slot when the last copy of its frame goes.
class Slot {
public:
    explicit Slot(std::shared_ptr<std::atomic<int>> alive)
        : alive_(std::move(alive))
    {
        ++*alive_;
    }
    ~Slot() { --*alive_; }
    Slot(const Slot&) = delete;
    Slot& operator=(const Slot&) = delete;

private:
    std::shared_ptr<std::atomic<int>> alive_;
};

} // namespace

XScreenStream::XScreenStream(CaptureDisplay display, StreamConfig config, QString displayName)
    : display_(std::move(display))
    , config_(std::move(config))
    , displayName_(std::move(displayName))
{
}

XScreenStream::~XScreenStream()
{
    stop();
}

void XScreenStream::start(Handlers handlers)
{
    if (thread_.joinable())
        throw std::logic_error("screen stream started twice");
    if (config_.size.isEmpty() || display_.geometry.isEmpty())
        throw CaptureError(QStringLiteral("nothing to capture: empty display or frame size"));
    x_ = std::make_unique<XDisplay>(displayName_);
    grabber_ = std::make_unique<XGrabber>(*x_);
    handlers_ = std::move(handlers);
    stopping_ = false;
    thread_ = std::thread([this] { run(); });
    // Named, so that a look at the process tells the grabs' share.
    pthread_setname_np(thread_.native_handle(), "zelvan.screen");
}

void XScreenStream::stop()
{
    if (std::this_thread::get_id() == thread_.get_id())
        throw std::logic_error("a screen stream cannot be stopped from its own callback");
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable())
        thread_.join();
    grabber_.reset();
    x_.reset();
    handlers_ = {};
}

void XScreenStream::run()
{
    // A display that goes away must end the stream with an error, not kill the
    // process with SIGPIPE on the next write to its socket.
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);

    using clock = std::chrono::steady_clock;
    const auto interval = std::chrono::ceil<clock::duration>(
        std::chrono::duration<double>(std::max(config_.minimumFrameInterval, 0.0)));
    const auto retry = std::chrono::milliseconds(50);
    auto next = clock::now();
    for (;;) {
        {
            std::unique_lock lock(mutex_);
            if (wake_.wait_until(lock, next, [this] { return stopping_; }))
                return;
        }
        // Every slot taken: the consumer is behind, so wait for it rather than grab.
        if (*alive_ >= std::max(config_.queueDepth, 1)) {
            next = clock::now() + retry;
            continue;
        }
        ScreenFrame frame;
        try {
            QImage image = grabber_->grab(display_.geometry, {.cursor = config_.showsCursor, .maskExcluded = true},
                                          &frame.hostTime);
            frame.image = image.size() == config_.size
                ? std::move(image)
                : image.scaled(config_.size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        } catch (const CaptureError& e) {
            if (handlers_.error)
                handlers_.error(e.description());
            return;
        }
        // Counted from the stamp the frame carries (on the same clock, rounded up), so
        // two stamps are never closer than the interval however long a read takes.
        next = clock::time_point(std::chrono::ceil<clock::duration>(std::chrono::duration<double>(frame.hostTime)))
            + interval;
        frame.slot = std::make_shared<Slot>(alive_);
        if (handlers_.frame)
            handlers_.frame(std::move(frame));
    }
}
