#pragma once

#include "platform/CaptureDevices.h"
#include "platform/CaptureError.h"

#include <QImage>
#include <cmath>
#include <functional>
#include <memory>
#include <mutex>

// Capture sources driven by the test: it calls the handlers the recorder gave them,
// standing in for the capture threads.

class FakeScreenStream final : public ScreenStream {
public:
    void start(Handlers h) override
    {
        handlers = std::move(h);
        started = true;
    }
    void stop() override
    {
        // A frame can be on its way while the stream is being stopped.
        if (started && inFlight)
            inFlight();
        started = false;
        if (stops)
            ++*stops;
    }
    void deliver(const QImage& image, double hostTime = 0) { handlers.frame(ScreenFrame{image, hostTime, nullptr}); }

    Handlers handlers;
    bool started = false;
    std::function<void()> inFlight;
    // Shared with the devices, so a test can count stops of a stream already gone.
    std::shared_ptr<int> stops;
};

class FakeAudioSource final : public AudioSource {
public:
    explicit FakeAudioSource(Format f)
        : fmt(std::move(f))
    {
    }

    Format format() override { return fmt; }
    void start(Handlers h) override
    {
        std::lock_guard lock(mutex);
        if (failStart)
            throw CaptureError(QStringLiteral("device busy"));
        handlers = std::move(h);
        running = true;
        ++starts;
    }
    void stop() override
    {
        std::lock_guard lock(mutex);
        running = false;
        ++stops;
    }
    // Mono 48 kHz: `seconds` of a constant level, heard at hostTime.
    void deliver(double seconds, float level, double hostTime)
    {
        CaptureBuffer b;
        b.sampleRate = fmt.sampleRate;
        b.channels = fmt.channels;
        b.samples.assign(size_t(std::llround(seconds * fmt.sampleRate)) * size_t(fmt.channels), level);
        b.hostTime = hostTime;
        handlers.buffer(b);
    }
    void interrupt() { handlers.interrupted(QStringLiteral("the default input changed")); }

    Format fmt;
    Handlers handlers;
    bool failStart = false;
    bool running = false;
    int starts = 0;
    int stops = 0;
    std::mutex mutex;
};

class FakeDevices final : public CaptureDevices {
public:
    std::vector<CaptureDisplay> list{{QStringLiteral("DP-1"), QRect(0, 0, 3024, 1964), true}};
    AudioSource::Format micFormat{48000, 1, QStringLiteral("vmic")};
    bool micFails = false;
    bool systemFails = false;

    // Valid while the recorder owns the stream; a start that fails destroys it.
    FakeScreenStream* stream = nullptr;
    // Stops of every stream handed out, kept here because the streams may be gone.
    std::shared_ptr<int> streamStops = std::make_shared<int>(0);
    // Given to every stream handed out: runs as it stops.
    std::function<void()> inFlight;
    FakeAudioSource* system = nullptr;
    FakeAudioSource* mic = nullptr;
    CaptureDisplay chosen;
    StreamConfig config;

    std::vector<CaptureDisplay> displays() override { return list; }
    std::unique_ptr<ScreenStream> screenStream(const CaptureDisplay& display, const StreamConfig& c) override
    {
        chosen = display;
        config = c;
        auto s = std::make_unique<FakeScreenStream>();
        s->stops = streamStops;
        s->inFlight = inFlight;
        stream = s.get();
        return s;
    }
    std::unique_ptr<AudioSource> systemAudio() override
    {
        auto s = std::make_unique<FakeAudioSource>(AudioSource::Format{48000, 2, QStringLiteral("spk.monitor")});
        s->failStart = systemFails;
        system = s.get();
        return s;
    }
    std::unique_ptr<AudioSource> microphone() override
    {
        auto s = std::make_unique<FakeAudioSource>(micFormat);
        s->failStart = micFails;
        mic = s.get();
        return s;
    }
};
