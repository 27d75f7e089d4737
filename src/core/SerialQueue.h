#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <type_traits>

// One worker thread that runs tasks one at a time, in the order they were queued.
// The log, the recorder's capture, microphone and text-recognition work each own one,
// so that the work of one queue never interleaves with itself.
class SerialQueue {
public:
    explicit SerialQueue(std::string label);
    // Runs what is still queued, then stops the worker.
    ~SerialQueue();
    SerialQueue(const SerialQueue&) = delete;
    SerialQueue& operator=(const SerialQueue&) = delete;

    const std::string& label() const { return label_; }

    // Queues the task and returns at once. A task that throws is reported on
    // standard error and does not stop the queue.
    void async(std::function<void()> task);

    // Runs the task on the queue after everything queued before it and returns its
    // result; its exception is rethrown here. Called from the queue itself, it runs
    // the task in place instead of waiting on itself forever.
    template <class F>
    auto sync(F&& f) -> std::invoke_result_t<F&>
    {
        using R = std::invoke_result_t<F&>;
        if (isCurrent())
            return f();
        std::packaged_task<R()> task(std::forward<F>(f));
        auto result = task.get_future();
        enqueue([&task] { task(); });
        return result.get();
    }

    // Waits until every task queued before this call has run.
    void drain();

    // True on the queue's own worker thread.
    bool isCurrent() const { return std::this_thread::get_id() == worker_.get_id(); }

private:
    void enqueue(std::function<void()> task);
    void run();

    std::string label_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> tasks_;
    bool stopping_ = false;
    std::thread worker_;
};
