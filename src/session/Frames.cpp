#include "session/Frames.h"

#include <QBuffer>
#include <QImageReader>
#include <QImageWriter>
#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

// The image averaged down to w × h grey pixels, rows without padding.
std::vector<std::uint8_t> grey(const QImage& image, int w, int h)
{
    if (image.isNull())
        return {};
    const QImage small = image.scaled(w, h, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                             .convertToFormat(QImage::Format_Grayscale8);
    if (small.isNull() || small.width() != w || small.height() != h)
        return {};
    std::vector<std::uint8_t> out(std::size_t(w) * std::size_t(h));
    for (int y = 0; y < h; ++y) {
        const uchar* row = small.constScanLine(y);
        std::copy(row, row + w, out.begin() + std::ptrdiff_t(y) * w);
    }
    return out;
}

} // namespace

namespace Frames {

std::vector<float> signature(const QImage& image)
{
    const std::vector<std::uint8_t> px = grey(image, 32, 18);
    std::vector<float> out;
    out.reserve(px.size());
    for (std::uint8_t v : px)
        out.push_back(float(v) / 255.0f);
    return out;
}

std::vector<std::uint8_t> fine(const QImage& image)
{
    return grey(image, 128, 72);
}

float diff(const std::vector<float>& a, const std::vector<float>& b)
{
    if (a.empty() || a.size() != b.size())
        return 1.0f;
    double sum = 0;
    for (std::size_t i = 0; i < a.size(); ++i)
        sum += std::fabs(double(a[i]) - double(b[i]));
    return float(sum / double(a.size()));
}

float changedRatio(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b)
{
    if (a.empty() || a.size() != b.size())
        return 1.0f;
    std::size_t changed = 0;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::abs(int(a[i]) - int(b[i])) > 20)
            ++changed;
    return float(double(changed) / double(a.size()));
}

std::optional<QImage> scale(const QImage& image, int width)
{
    if (image.isNull() || width <= 0)
        return std::nullopt;
    const int height = int(double(width) * double(image.height()) / double(image.width()));
    if (height <= 0)
        return std::nullopt;
    QImage out = image.convertToFormat(QImage::Format_RGB32)
                     .scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (out.isNull())
        return std::nullopt;
    return out;
}

std::optional<QByteArray> jpeg(const QImage& image, double quality, std::optional<int> maxWidth)
{
    if (image.isNull())
        return std::nullopt;
    QImage source = image;
    if (maxWidth && image.width() > *maxWidth) {
        if (auto scaled = scale(image, *maxWidth))
            source = std::move(*scaled);
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    if (!buffer.open(QIODevice::WriteOnly))
        return std::nullopt;
    QImageWriter writer(&buffer, "jpeg");
    const double q = std::isfinite(quality) ? std::clamp(quality, 0.0, 1.0) : 0.6;
    writer.setQuality(int(std::lround(q * 100.0)));
    if (!writer.write(source) || bytes.isEmpty())
        return std::nullopt;
    return bytes;
}

std::optional<QImage> load(const QString& path)
{
    QImageReader reader(path);
    QImage image = reader.read();
    if (image.isNull())
        return std::nullopt;
    return image;
}

} // namespace Frames
