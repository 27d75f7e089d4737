#pragma once

#include <functional>
#include <memory>

// Runs a function once, some seconds from now, on the main thread, unless the
// handle is cancelled first. Surfaces take one so that tests can move time on
// instead of waiting for real timers.
class Later {
public:
    // Cancels the pending run when dropped or cancelled; harmless after it ran.
    class Handle {
    public:
        virtual ~Handle() = default;
        virtual void cancel() = 0;
    };

    virtual ~Later() = default;
    virtual std::unique_ptr<Handle> after(double seconds, std::function<void()> run) = 0;

    // Backed by single-shot QTimers on the main thread.
    static Later& main();
};
