#pragma once

#include "ui/Scheme.h"

#include <QColor>

class QWidget;

// The kit's colours: one fixed table for the dark and one for the light scheme.
// Views take one Pal per paint and colour everything from it.
struct Pal {
    QColor bg;     // window background
    QColor bg1;    // first raised surface
    QColor bg2;    // second raised surface
    QColor bg3;    // third raised surface (key caps, wells)
    QColor ln;     // faintest line
    QColor ln2;    // middle line
    QColor ln3;    // strongest line
    QColor tx;     // primary text
    QColor tx2;    // secondary text
    QColor tx3;    // tertiary text
    QColor ac;     // accent for text, strokes and glyphs
    QColor acFill; // accent used as a fill
    QColor acInk;  // ink on an acFill surface
    QColor silver; // neutral highlight
    QColor red;    // alarm
    QColor amber;  // warning
    QColor up;     // positive
    QColor shadow;
    bool dark = false;

    static const Pal& darkPal();
    static const Pal& lightPal();
    static const Pal& of(ColorScheme scheme);
    // The palette of the scheme `widget` draws in.
    static const Pal& of(const QWidget* widget);

    // sRGB from 0xRRGGBB; the top byte is ignored.
    static QColor hex(quint32 rgb, double opacity = 1);
};
