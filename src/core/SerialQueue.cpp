#include "core/SerialQueue.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <pthread.h>

SerialQueue::SerialQueue(std::string label)
    : label_(std::move(label))
{
    worker_ = std::thread([this] { run(); });
    // Thread names are cut to 15 bytes by the kernel; "zelvan.capture" fits.
    pthread_setname_np(worker_.native_handle(), label_.substr(0, 15).c_str());
}

SerialQueue::~SerialQueue()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    if (isCurrent()) {
        // The worker would go on using this object after it is gone.
        std::fprintf(stderr, "[Zelvan] %s: a queue cannot be destroyed from its own task\n", label_.c_str());
        std::abort();
    }
    if (worker_.joinable())
        worker_.join();
}

void SerialQueue::async(std::function<void()> task)
{
    enqueue([this, task = std::move(task)] {
        try {
            task();
        } catch (const std::exception& e) {
            std::fprintf(stderr, "[Zelvan] %s: uncaught error: %s\n", label_.c_str(), e.what());
        } catch (...) {
            std::fprintf(stderr, "[Zelvan] %s: uncaught error\n", label_.c_str());
        }
    });
}

void SerialQueue::drain()
{
    sync([] {});
}

void SerialQueue::enqueue(std::function<void()> task)
{
    {
        std::lock_guard lock(mutex_);
        tasks_.push_back(std::move(task));
    }
    wake_.notify_one();
}

void SerialQueue::run()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || !tasks_.empty(); });
        if (tasks_.empty())
            return; // stopping, and nothing left to run
        auto task = std::move(tasks_.front());
        tasks_.pop_front();
        lock.unlock();
        task();
        lock.lock();
    }
}
