#include "core/Brand.h"

namespace Brand {

const QColor& lime()
{
    static const QColor c = QColor::fromRgbF(198 / 255.0f, 1.0f, 61 / 255.0f, 1.0f);
    return c;
}

const QColor& bg()
{
    static const QColor c = QColor::fromRgbF(0.07f, 0.075f, 0.08f, 1.0f);
    return c;
}

const QColor& red()
{
    static const QColor c = QColor::fromRgbF(0.9f, 0.28f, 0.3f, 1.0f);
    return c;
}

} // namespace Brand
