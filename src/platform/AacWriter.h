#pragma once

#include <cstdint>
#include <memory>
#include <string>

// Appends mono 48 kHz float samples to an AAC-LC track (64 kbit/s) in a
// fragmented MP4 file. The header and each finished fragment are on disk at
// once, so a process killed while writing leaves a file that decodes up to its
// last fragment; close() adds the last fragment and the index.
class AacWriter {
public:
    static constexpr int sampleRate = 48000;
    static constexpr int bitRate = 64000;

    // Creates the file (replacing one at the path); throws MediaError.
    explicit AacWriter(const std::string& path);
    // Closes the file if close() was not called; errors are dropped.
    ~AacWriter();
    AacWriter(const AacWriter&) = delete;
    AacWriter& operator=(const AacWriter&) = delete;

    // Throws MediaError; samples already handed over stay in the file.
    void append(const float* samples, int64_t count);
    // The same as appending `count` zeros, but long stretches cost almost nothing:
    // whole silent frames are copied rather than encoded.
    void appendSilence(int64_t count);
    // Writes the packets encoded so far to disk as a fragment of their own (the
    // first one with the header), without waiting for the fragment's second to
    // fill; throws MediaError.
    void flush();
    // Encodes what is buffered and finishes the file; throws MediaError.
    void close();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};
