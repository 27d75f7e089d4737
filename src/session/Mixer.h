#pragma once

#include <QString>
#include <functional>
#include <vector>

// Lays audio files on one time line, each from its own offset, and writes their
// sum as one AAC track.
namespace Mixer {

struct Input {
    QString path;
    // Seconds on the output's time line at which the file begins; below 0 counts as 0.
    double offset = 0;
};

// Streams block by block: decodes, converts to 48 kHz mono, sums (no scaling),
// clamps to [-1, 1] and encodes, never holding a whole track. Files without
// audio or without a single sample are skipped. The result goes to a temporary
// file that replaces `output` in one step, so a failed mix leaves the old file.
// Throws MediaError when an input cannot be read, AudioError ("nothing to mix",
// "export failed: …") otherwise. Blocking: call it off the main thread.
// `progress` hears the seconds written so far after every block, on the
// calling thread: a long mix shows it is still moving.
using Progress = std::function<void(double seconds)>;
void mix(const std::vector<Input>& inputs, const QString& output, const Progress& progress = {});

// The file's length in seconds; 0 when it cannot be told.
double duration(const QString& path);

} // namespace Mixer
