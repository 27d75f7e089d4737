#pragma once

#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

// One streaming recognition: sound goes in from any thread, results come out on
// the recogniser's own thread through the handler given to recognize().
class SpeechTask {
public:
    virtual ~SpeechTask() = default;
    // 16 kHz mono 16-bit samples, in order. Ignored after endAudio() or cancel().
    virtual void append(const std::int16_t* samples, std::size_t count) = 0;
    // No more sound: the audio given so far is decoded and a final result follows.
    virtual void endAudio() = 0;
    // Drops what is not decoded yet; no result follows once the worker sees it.
    virtual void cancel() = 0;
    // Asks for the transcription so far: a result follows when it changed.
    // Dictation reports its text only when asked; commands report theirs as they go.
    virtual void askText() {}
};

// On-device speech recognition of 16 kHz mono 16-bit sound. A recogniser loads
// its models for its first task, on its own worker thread (the task's sound waits
// meanwhile), and frees them once no task has come for a while; its tasks are
// decoded one after the other in the order they were made.
class SpeechRecognizer {
public:
    static constexpr int sampleRate = 16000;

    // Commands are short and start with a known word ("note", "card", …);
    // dictation runs for minutes beside a recording and must stay cheap.
    enum class Purpose { Command, Dictation };

    struct Result {
        QString text;         // the whole transcription so far
        bool isFinal = false; // after endAudio(): nothing more follows
        QString error;        // set when recognition failed; no result follows
    };
    using Handler = std::function<void(const Result&)>;

    virtual ~SpeechRecognizer() = default;

    // Whether the models are installed; there is no speech permission on this platform.
    virtual bool available() const = 0;
    // The language of the models, "en-US".
    virtual QString locale() const = 0;
    // Everything stays on this device.
    virtual bool onDevice() const = 0;
    // Starts a recognition. The handler runs on the recogniser's thread.
    virtual std::shared_ptr<SpeechTask> recognize(Handler handler) = 0;
    // Whether the models are in memory now.
    virtual bool loaded() const { return true; }

    // pocketsphinx with the system's US English models, freed once no task has
    // come for keepSeconds.
    static std::unique_ptr<SpeechRecognizer> create(Purpose purpose, double keepSeconds = 0);
    // Whether those models are installed; cheap, loads nothing.
    static bool installed();
};

// 16 kHz mono 16-bit samples from interleaved float sound of any rate, through
// a resampler that keeps its state between calls (so blocks convert as one stream).
class SpeechResampler {
public:
    SpeechResampler();
    ~SpeechResampler();
    // Throws MediaError when the sound's format cannot be converted.
    std::vector<std::int16_t> convert(const float* interleaved, std::int64_t frames, int rate, int channels);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};
