#pragma once

#include "platform/PcmBuffer.h"

#include <QImage>
#include <QString>
#include <QStringList>
#include <functional>

// The self-test's inputs, made the same way on every run: sine tones, a plain
// test frame and a screen-like slide. Positions are given from the bottom left,
// as a screen's drawing coordinates are.
namespace Fixtures {

// `seconds` of a sine tone at `sampleRate` in `channels` identical channels; a
// sample at time t (from startAt) sounds only when on(t) holds, so consecutive
// pieces join without a phase jump.
PcmBuffer tone(double sampleRate, int channels, double seconds, double freq, float amp,
               const std::function<bool(double)>& on, double startAt = 0);

// 640 × 360 dark grey-blue; with `box`, a light 300 × 160 box at (40, 40).
QImage image(bool box);

// 1440 × 900 white page: a small menu-bar line at the top, the title in large
// bold type and the lines below it, 60 points apart.
QImage slide(const QString& title, const QStringList& lines);

// Black text of the given pixel size drawn with its lower left corner at (x, y),
// y counted from the image's bottom edge.
void drawText(QImage& image, const QString& text, int x, int y, int pixelSize, bool bold = false,
              const QColor& colour = Qt::black);

} // namespace Fixtures
