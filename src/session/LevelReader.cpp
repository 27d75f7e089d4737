#include "session/LevelReader.h"

#include "platform/AudioReader.h"
#include "session/LevelMeter.h"

#include <QFile>

namespace LevelReader {

std::vector<float> levels(const QString& path)
{
    AudioReader reader(QFile::encodeName(path).toStdString());
    LevelMeter meter(LevelTrack::standardWindow, reader.sampleRate());
    PcmBuffer block;
    std::vector<float> first;
    while (reader.read(block)) {
        if (block.channels == 1) {
            meter.feed(block.samples.data(), block.frames());
            continue;
        }
        first.resize(size_t(block.frames()));
        for (size_t i = 0; i < first.size(); ++i)
            first[i] = block.samples[i * size_t(block.channels)];
        meter.feed(first.data(), int64_t(first.size()));
    }
    return std::move(meter.rms);
}

} // namespace LevelReader
