#pragma once

#include <QString>
#include <vector>

// Levels of an audio file read to its end.
namespace LevelReader {
// RMS values of the first channel, one per 0.25 s at the file's own rate; a
// trailing partial window gives no value. Throws MediaError when the file cannot
// be opened or decoded.
std::vector<float> levels(const QString& path);
} // namespace LevelReader
