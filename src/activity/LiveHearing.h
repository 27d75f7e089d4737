#pragma once

#include "activity/ResultRelay.h"
#include "platform/CaptureBuffer.h"
#include "platform/SpeechRecognizer.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <atomic>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>

// Hears the user's microphone on the device while a recording runs and, now and
// then, hands a short key phrase of what was just said to its owner. Everything
// but append() runs on the main thread.
class LiveHearing {
public:
    // The least time between two delivered phrases, in seconds.
    static constexpr double minGap = 15.0;
    using Extract = std::function<std::optional<QString>(const QString& words)>;

    // pocketsphinx tuned for dictation, and KeyPhrase with the system's tagger.
    LiveHearing();
    LiveHearing(std::unique_ptr<SpeechRecognizer> recognizer, Extract extract);
    ~LiveHearing();
    LiveHearing(const LiveHearing&) = delete;
    LiveHearing& operator=(const LiveHearing&) = delete;

    // Called on the main thread with each key phrase.
    std::function<void(const QString&)> onPhrase;

    // Starts hearing; false (and a log line) when recognition is not available.
    // While already running it changes nothing and returns true.
    bool start();
    // One microphone buffer of the recording, on the capture thread; dropped while
    // hearing is stopped, and while it is too quiet to be speech.
    void append(const CaptureBuffer& buffer);
    // Stops; words not yet harvested are dropped and nothing is delivered.
    void stop();
    bool running() const { return running_; }

    // The 2-second timer's work; public so that tests can drive it with their clock.
    void tick();

    // A microphone buffer quieter than this (RMS) is not decoded; a quiet
    // speaker is louder.
    static constexpr float speechLevel = 0.008f;
    // After a phrase the decoder rests until this long before the gap ends: words
    // heard in the gap are used up unheard, and a word takes a few seconds from
    // being said to its harvest.
    static constexpr double resumeBefore = 2.5;

private:
    void newTask();
    void handle(quint64 task, const SpeechRecognizer::Result& result);
    void harvest(bool force);
    void deliver(quint64 run, const std::optional<QString>& phrase);

    std::unique_ptr<SpeechRecognizer> recognizer_;
    Extract extract_;
    std::function<void()> unload_; // frees what extract_ loaded; runs on a worker after stop()
    std::mutex lock_; // guards request_ and ear_
    std::shared_ptr<SpeechTask> request_;
    quint64 taskId_ = 0; // results of any other task are dropped
    QString text_;
    double changedAt_;
    qsizetype consumed_ = 0;
    double lastEmit_ = -std::numeric_limits<double>::infinity();
    double taskStarted_;
    bool running_ = false;
    quint64 run_ = 0;         // each stop() begins a new one; phrases of older runs are dropped
    bool extracting_ = false; // a key phrase is being picked on a worker
    QTimer timer_;
    // What the capture thread keeps between the buffers of one recording. Made
    // by start() and let go by stop(): the next recording starts without the
    // last one's sound, and the sound libraries under the resampler can go.
    struct Ear {
        SpeechResampler resampler;
        std::vector<std::int16_t> lead; // sound just before speech begins
        double quiet = 1e9;             // since speech was last heard, in seconds
    };
    std::shared_ptr<Ear> ear_; // guarded by lock_; used on the capture thread
    std::atomic<double> restUntil_ = -std::numeric_limits<double>::infinity(); // set on the main thread
    QObject guard_;
    // Closed first when hearing goes, so that no result is queued to it later.
    ResultRelay relay_{&guard_};
};
