#include "platform/ScreenStream.h"

#include <algorithm>

QSize StreamConfig::sizeFor(QSize display, int maxWidth)
{
    const int width = std::min(display.width(), maxWidth);
    const double height = double(width) * display.height() / std::max(display.width(), 1);
    return {width, std::max(2, int(height))};
}
