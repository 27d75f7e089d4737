#pragma once

#include "platform/PcmBuffer.h"
#include "session/LevelMeter.h"

#include <QString>
#include <memory>
#include <optional>

class AacWriter;
class Resampler;

// Writes one track of a recording: takes timed PCM blocks of any rate and channel
// count, converts them to 48 kHz mono, fills holes in the timeline with silence,
// remembers the session time of its first sample and measures what it writes.
// Used from one serial queue; never throws (failures land in lastError()).
class MonoWriter {
public:
    static constexpr double sampleRate = 48000;
    // A hole longer than this many seconds is filled with this much silence only.
    static constexpr double maxGap = 3600;

    explicit MonoWriter(QString path);
    ~MonoWriter();
    MonoWriter(const MonoWriter&) = delete;
    MonoWriter& operator=(const MonoWriter&) = delete;

    // Appends sound that began at session time t (nothing when unknown). The file
    // is created, replacing an old one, by the first write.
    void write(const PcmBuffer& buffer, std::optional<double> t);
    // Finishes the file; offset, duration and levels stay readable. Later writes are dropped.
    void close();

    const QString& path() const { return path_; }
    std::optional<double> offset() const { return offset_; }
    int64_t framesWritten() const { return framesWritten_; }
    double duration() const { return double(framesWritten_) / sampleRate; }
    // More than a quarter of a second written, and the file is still there.
    bool hasAudio() const;
    const std::optional<QString>& lastError() const { return lastError_; }
    const LevelMeter& meter() const { return meter_; }
    // The measured levels on the session's time axis (from offset(), else 0).
    LevelTrack levels() const;

private:
    void writeSilence(double seconds);
    AacWriter& openIfNeeded();

    QString path_;
    std::unique_ptr<AacWriter> file_;
    std::unique_ptr<Resampler> converter_;
    LevelMeter meter_;
    std::optional<double> offset_;
    int64_t framesWritten_ = 0;
    std::optional<double> nextTime_;
    std::optional<QString> lastError_;
    std::vector<float> converted_;
    bool closed_ = false;
    bool earlyFlushed_ = false;
};
