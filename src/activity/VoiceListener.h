#pragma once

#include "activity/ResultRelay.h"
#include "platform/SpeechInput.h"
#include "platform/SpeechRecognizer.h"

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

// The push-to-talk listener behind voice commands: its own microphone stream and
// its own recogniser (loaded at the first command, freed after minutes without
// one). Reports partial text while the key is held and, when stopped, hands over
// the final text, waiting at most finishSeconds for the recogniser once its
// models are in. Used on the main thread.
class VoiceListener {
public:
    using Completion = std::function<void(const QString&)>;

    // pocketsphinx and the desktop's default microphone.
    VoiceListener();
    VoiceListener(std::unique_ptr<SpeechRecognizer> recognizer, std::unique_ptr<SpeechInput> input);
    ~VoiceListener();
    VoiceListener(const VoiceListener&) = delete;
    VoiceListener& operator=(const VoiceListener&) = delete;

    // Whether commands can be heard: the speech models are installed (there is no
    // microphone permission here; a missing microphone is start's "No microphone
    // input."). Calls the completion at once with (true, "") or (false, why).
    void authorize(const std::function<void(bool granted, const QString& message)>& completion);

    // Starts listening; does nothing while listening. A command still waiting for
    // its final text is delivered first. Throws AudioError when recognition or the
    // microphone is missing, CaptureError when the stream cannot start.
    void start();
    // Stops listening and delivers the final text to the completion exactly once.
    void stop(Completion completion);

    // How long stop() waits for the recogniser's final text; tests of the real
    // recogniser on a crowded machine give it longer.
    double finishSeconds = 2.5;

    const QString& text() const { return text_; }
    bool listening() const { return listening_; }
    // Called with the whole transcription so far after every result.
    std::function<void(const QString&)> onPartial;

private:
    void handle(quint64 generation, const SpeechRecognizer::Result& result);
    void awaitFinal(quint64 generation, double loading);
    void finish();

    std::unique_ptr<SpeechRecognizer> recognizer_;
    std::unique_ptr<SpeechInput> input_;
    std::shared_ptr<SpeechTask> task_;
    Completion done_;
    QString text_;
    bool listening_ = false;
    // Each start() begins a new generation; results of older ones are dropped.
    quint64 generation_ = 0;
    // Queued results and timers die with it.
    QObject guard_;
    // Closed first when the listener goes, so that no result is queued to it later.
    ResultRelay relay_{&guard_};
};
