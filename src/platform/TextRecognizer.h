#pragma once

#include "platform/Error.h"

#include <QImage>
#include <QString>
#include <vector>

// One recognised line: its best string and its box in normalised image
// coordinates, 0…1 on both axes, origin at the bottom left, y growing upwards.
struct TextLine {
    QString text;
    double x = 0;
    double y = 0; // bottom edge
    double width = 0;
    double height = 0;

    double midY() const { return y + height / 2; }
};

// The device's text recogniser. Blocking: call it off the main thread. Each
// thread keeps one engine per mode, loaded on first use and then reused, so
// several threads may read at once.
namespace TextRecognizer {

// Accurate reads all the text and checks words against a dictionary. Fast is for
// telling whether a frame's text changed: no dictionary, and on a full screen only
// text of about 20 px and more.
enum class Mode { Accurate, Fast };

struct Error : ::Error {
    using ::Error::Error;
};

// The image's text lines in the recogniser's own order. An image without text
// gives no lines. Throws Error when the engine cannot start or the image cannot
// be read.
std::vector<TextLine> recognize(const QImage& image, Mode mode);

} // namespace TextRecognizer
