#pragma once

#include <QObject>
#include <functional>
#include <memory>
#include <mutex>

// Carries a recogniser's results from its thread to an owner on the main thread.
// The recogniser may call in at any time, even while the owner is being
// destroyed: the owner closes the relay first, after which nothing more is
// queued, and what was queued before dies with the context object.
class ResultRelay {
public:
    explicit ResultRelay(QObject* context)
        : state_(std::make_shared<State>())
    {
        state_->context = context;
    }
    ~ResultRelay() { close(); }
    ResultRelay(const ResultRelay&) = delete;
    ResultRelay& operator=(const ResultRelay&) = delete;

    // Waits for a post under way on another thread.
    void close()
    {
        std::lock_guard lock(state_->mutex);
        state_->context = nullptr;
    }

    // For any thread: runs `fn` on the context's thread later, unless closed.
    // It holds the relay's state, never the owner.
    std::function<void(std::function<void()>)> poster() const
    {
        return [state = state_](std::function<void()> fn) {
            std::lock_guard lock(state->mutex);
            if (state->context)
                QMetaObject::invokeMethod(state->context, std::move(fn), Qt::QueuedConnection);
        };
    }

private:
    struct State {
        std::mutex mutex;
        QObject* context = nullptr;
    };
    std::shared_ptr<State> state_;
};
