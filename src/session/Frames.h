#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

// Image operations of frame selection: small grey thumbnails to tell whether the
// screen changed, scaling and JPEG encoding of kept screenshots.
namespace Frames {

// A recording keeps at most this many screenshots.
constexpr int maxShots = 181;
// Signature difference at or above which a frame counts as changed.
constexpr float changeThreshold = 0.03f;
// Share of changed fine pixels at or above which an unchanged frame gets the text check.
constexpr float fineCandidate = 0.01f;
// Text similarity below which a text-checked frame is kept.
constexpr double textKeepSimilarity = 0.7;

// 32 × 18 grey pixels, row by row, each 0…1; empty for a null image.
std::vector<float> signature(const QImage& image);
// 128 × 72 grey pixels, row by row; empty for a null image.
std::vector<std::uint8_t> fine(const QImage& image);
// Mean absolute difference of two signatures; 1 when a is empty or the sizes differ.
float diff(const std::vector<float>& a, const std::vector<float>& b);
// Share of fine pixels that differ by more than 20; 1 when a is empty or the sizes differ.
float changedRatio(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b);
// The image drawn at the width, the height in proportion (truncated); nothing
// when either side would be empty.
std::optional<QImage> scale(const QImage& image, int width);
// JPEG bytes at the quality (0…1), narrowed to maxWidth when wider (kept as it
// is when narrowing fails); nothing when the image cannot be encoded.
std::optional<QByteArray> jpeg(const QImage& image, double quality = 0.6, std::optional<int> maxWidth = std::nullopt);
// The first image of an image file; nothing when unreadable.
std::optional<QImage> load(const QString& path);

} // namespace Frames
