#pragma once

#include "platform/SpeechInput.h"
#include "platform/SpeechRecognizer.h"

#include <cstring>
#include <memory>
#include <new>
#include <stdexcept>
#include <vector>

// A recogniser whose results the test hands out itself.
class ScriptedTask final : public SpeechTask {
public:
    explicit ScriptedTask(SpeechRecognizer::Handler handler)
        : handler(std::move(handler))
    {
    }
    void append(const std::int16_t*, std::size_t count) override { samples += count; }
    void endAudio() override { ended = true; }
    void cancel() override { cancelled = true; }
    void askText() override { ++asks; }

    // As the real recogniser does, from its own thread; the result arrives once
    // the test runs the event loop.
    void say(const QString& text, bool isFinal = false) { handler({.text = text, .isFinal = isFinal}); }
    void fail(const QString& error) { handler({.error = error}); }

    SpeechRecognizer::Handler handler;
    std::size_t samples = 0;
    int asks = 0;
    bool ended = false;
    bool cancelled = false;
};

class ScriptedRecognizer final : public SpeechRecognizer {
public:
    explicit ScriptedRecognizer(std::vector<std::shared_ptr<ScriptedTask>>* tasks, bool available = true)
        : tasks_(tasks)
        , available_(available)
    {
    }
    bool available() const override { return available_; }
    QString locale() const override { return QStringLiteral("en-US"); }
    bool onDevice() const override { return true; }
    bool loaded() const override { return !loading || !*loading; }
    std::shared_ptr<SpeechTask> recognize(Handler handler) override
    {
        tasks_->push_back(std::make_shared<ScriptedTask>(std::move(handler)));
        return tasks_->back();
    }

    // While it points at true, the models are still loading.
    const bool* loading = nullptr;

private:
    std::vector<std::shared_ptr<ScriptedTask>>* tasks_;
    bool available_;
};

struct InputState {
    bool device = true;
    bool failStart = false;
    bool running = false;
    int stops = 0;
    SpeechInput::Handler handler;
};

class ScriptedInput final : public SpeechInput {
public:
    explicit ScriptedInput(InputState* state)
        : state_(state)
    {
    }
    bool hasDevice() override { return state_->device; }
    void start(Handler handler) override
    {
        state_->running = true;
        state_->handler = std::move(handler);
        if (state_->failStart)
            throw std::runtime_error("the stream failed");
    }
    void stop() override
    {
        state_->running = false;
        state_->handler = {};
        state_->stops++;
    }

private:
    InputState* state_;
};

// An object in storage of the test's own. After its destructor the storage is
// filled with junk, as freed memory may be, so that anything still pointing
// into the object fails at once rather than by chance.
template <class T>
class Scribbled {
public:
    template <class... Args>
    explicit Scribbled(Args&&... args)
    {
        new (storage_) T(std::forward<Args>(args)...);
    }
    ~Scribbled()
    {
        if (alive_)
            get().~T();
    }
    Scribbled(const Scribbled&) = delete;
    Scribbled& operator=(const Scribbled&) = delete;
    T& get() { return *std::launder(reinterpret_cast<T*>(storage_)); }
    T* operator->() { return &get(); }
    void destroy()
    {
        get().~T();
        alive_ = false;
        std::memset(storage_, 0xa5, sizeof storage_);
    }

private:
    alignas(T) unsigned char storage_[sizeof(T)];
    bool alive_ = true;
};
