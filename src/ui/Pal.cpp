#include "ui/Pal.h"

namespace {

QColor white(double opacity)
{
    QColor c(Qt::white);
    c.setAlphaF(float(opacity));
    return c;
}

QColor black(double opacity)
{
    QColor c(Qt::black);
    c.setAlphaF(float(opacity));
    return c;
}

} // namespace

QColor Pal::hex(quint32 rgb, double opacity)
{
    QColor c((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
    c.setAlphaF(float(opacity));
    return c;
}

// Function-local statics: built once, thread-safely, on first use.
const Pal& Pal::darkPal()
{
    static const Pal p{
        .bg = hex(0x07080B),
        .bg1 = hex(0x101114),
        .bg2 = hex(0x15161A),
        .bg3 = hex(0x1F2125),
        .ln = white(0.07),
        .ln2 = white(0.10),
        .ln3 = white(0.16),
        .tx = hex(0xF3F5F8),
        .tx2 = hex(0xA3A8B0),
        .tx3 = hex(0x6A7079),
        .ac = hex(0xC6FF3D),
        .acFill = hex(0xC6FF3D),
        .acInk = hex(0x0B0D07),
        .silver = hex(0xC9D2DC),
        .red = hex(0xFF4D5E),
        .amber = hex(0xFFB547),
        .up = hex(0x22D67A),
        .shadow = black(0.55),
        .dark = true,
    };
    return p;
}

const Pal& Pal::lightPal()
{
    static const Pal p{
        .bg = hex(0xFBFBFA),
        .bg1 = hex(0xFFFFFF),
        .bg2 = hex(0xFFFFFF),
        .bg3 = hex(0xEEF0F3),
        .ln = hex(0x101317, 0.08),
        .ln2 = hex(0x101317, 0.12),
        .ln3 = hex(0x101317, 0.20),
        .tx = hex(0x101317),
        .tx2 = hex(0x4E545D),
        .tx3 = hex(0x858B94),
        // Lime is only a fill on light surfaces; accent text and strokes are darker.
        .ac = hex(0x4A8A00),
        .acFill = hex(0xC6FF3D),
        .acInk = hex(0x0B0D07),
        .silver = hex(0x66707F),
        .red = hex(0xE0324A),
        .amber = hex(0xB86E00),
        .up = hex(0x12995A),
        .shadow = hex(0x101317, 0.22),
        .dark = false,
    };
    return p;
}

const Pal& Pal::of(ColorScheme scheme)
{
    return scheme == ColorScheme::dark ? darkPal() : lightPal();
}

const Pal& Pal::of(const QWidget* widget)
{
    return of(Scheme::of(widget));
}
