#pragma once

#include "platform/PcmBuffer.h"

#include <memory>
#include <string>

// Decodes the first audio stream of a file block by block. A file cut off in the
// middle (a crashed recording) ends where its readable data ends.
class AudioReader {
public:
    // Throws MediaError when the file cannot be opened or holds no audio stream.
    explicit AudioReader(const std::string& path);
    ~AudioReader();
    AudioReader(const AudioReader&) = delete;
    AudioReader& operator=(const AudioReader&) = delete;

    double sampleRate() const;
    int channels() const;
    // "aac", "pcm_s16le"…
    std::string codec() const;

    // The next decoded block, interleaved float in the file's own rate and
    // channels; false at the end. Throws MediaError on a decoding failure.
    bool read(PcmBuffer& block);

    // The file's length in seconds from its packets' time stamps, without
    // decoding; 0 when it cannot be told.
    static double duration(const std::string& path);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};
