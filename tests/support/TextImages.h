#pragma once

#include <QFont>
#include <QImage>
#include <QString>
#include <QStringList>

// Screens with known text for the text recogniser, drawn offscreen in DejaVu Sans
// (fonts-dejavu-core) so that every machine draws the same pixels. Needs a
// QGuiApplication.
namespace TextImages {

QFont font(int pixelSize, bool bold = false);

// 1200×420 white RGB frame with three lines of black 44 px text at x 40, their
// baselines 330, 250 and 170 px above the bottom edge.
QImage threeLineFrame();
QStringList threeLines();

// A 1440×900 white slide: a small menu-bar line at the top, the title in large
// type below it, then the lines.
QImage slide(const QString& title, const QStringList& lines);
QString slideMenuBar();

// A 1920×1080 desktop: a top bar, and a text editor window with a sidebar and 40
// lines of 15 px text.
QImage desktop();

} // namespace TextImages
