#include "session/MonoWriter.h"

#include "core/Log.h"
#include "platform/AacWriter.h"
#include "platform/MediaError.h"
#include "platform/Resampler.h"
#include "session/AudioError.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>

MonoWriter::MonoWriter(QString path)
    : path_(std::move(path))
    , meter_(LevelTrack::standardWindow, sampleRate)
{
}

MonoWriter::~MonoWriter() = default;

bool MonoWriter::hasAudio() const
{
    return framesWritten_ > 12000 && QFileInfo::exists(path_);
}

LevelTrack MonoWriter::levels() const
{
    return {offset_.value_or(0), meter_.rms, meter_.window()};
}

AacWriter& MonoWriter::openIfNeeded()
{
    if (!file_)
        file_ = std::make_unique<AacWriter>(QFile::encodeName(path_).toStdString());
    return *file_;
}

void MonoWriter::writeSilence(double seconds)
{
    int64_t frames = int64_t(seconds * sampleRate);
    // In chunks of a minute so that a failure part way leaves the count true.
    constexpr int64_t chunk = 60 * 48000;
    while (frames > 0) {
        const int64_t n = std::min(frames, chunk);
        openIfNeeded().appendSilence(n);
        framesWritten_ += n;
        meter_.feedSilence(n);
        frames -= n;
    }
}

void MonoWriter::write(const PcmBuffer& buffer, std::optional<double> t)
{
    const int64_t inputFrames = buffer.frames();
    // A late buffer after close() must not reopen, and so wipe, the finished track.
    if (inputFrames <= 0 || closed_)
        return;
    try {
        const float* samples = buffer.samples.data();
        int64_t count = inputFrames;
        if (buffer.sampleRate != sampleRate || buffer.channels != 1) {
            if (!converter_ || !converter_->accepts(buffer.sampleRate, buffer.channels)) {
                converter_.reset();
                try {
                    converter_ = std::make_unique<Resampler>(buffer.sampleRate, buffer.channels, int(sampleRate));
                } catch (const MediaError&) {
                    throw AudioError::convert(
                        QStringLiteral("no converter from ")
                        + QString::fromStdString(Resampler::describe(buffer.sampleRate, buffer.channels)));
                }
            }
            converted_.clear();
            try {
                converter_->convert(samples, inputFrames, converted_);
            } catch (const MediaError&) {
                throw AudioError::convert(QStringLiteral("convert failed"));
            }
            samples = converted_.data();
            count = int64_t(converted_.size());
        }

        if (!offset_) {
            offset_ = t && *t >= 0 ? *t : 0.0;
        } else if (t && nextTime_ && *t - *nextTime_ > 0.05) {
            writeSilence(std::min(*t - *nextTime_, maxGap));
        }

        openIfNeeded().append(samples, count);
        framesWritten_ += count;
        // The muxer's own fragments are a second long, and the first one only
        // reaches the disk with the second: half a second in, the sound so far
        // goes out at once, so a crash early in a recording keeps most of it.
        if (!earlyFlushed_ && framesWritten_ >= int64_t(sampleRate / 2)) {
            earlyFlushed_ = true;
            file_->flush();
        }
        meter_.feed(samples, count);
        const double base = t ? *t : nextTime_ ? *nextTime_ : offset_ ? *offset_ : 0.0;
        nextTime_ = base + double(inputFrames) / buffer.sampleRate;
    } catch (const std::exception& e) {
        const QString text = QString::fromUtf8(e.what());
        if (!lastError_)
            slog(QStringLiteral("audio write ") + QFileInfo(path_).fileName() + QStringLiteral(": ") + text);
        lastError_ = text;
    }
}

void MonoWriter::close()
{
    closed_ = true;
    if (file_) {
        try {
            file_->close();
        } catch (const std::exception& e) {
            const QString text = QString::fromUtf8(e.what());
            if (!lastError_)
                slog(QStringLiteral("audio write ") + QFileInfo(path_).fileName() + QStringLiteral(": ") + text);
            lastError_ = text;
        }
        file_.reset();
    }
    converter_.reset();
}
