#pragma once

#include <QColor>
#include <QString>
#include <optional>

// The board window's look that follows the page: its background colour, light
// or dark chrome, zoom steps, and the page shown when a load fails. Pure.
namespace BoardLook {

inline const QColor darkBG = QColor(7, 8, 11);

// "rgb(r, g, b)" or "rgba(r, g, b, a)" as an opaque colour; nothing for fewer
// than three numbers or an alpha of 0.5 or less.
std::optional<QColor> parseCSSColor(const QString& text);
// Relative luminance of the sRGB components; above 0.5 the chrome is light.
double luminance(const QColor& colour);
bool isLight(double luminance);

inline constexpr double zoomMin = 0.5;
inline constexpr double zoomMax = 2.5;
inline constexpr double zoomStep = 0.1;
double zoomIn(double zoom);
double zoomOut(double zoom);

// The failure page for the platform's host and the error, both escaped as HTML.
QString failurePage(const QString& host, const QString& description);

} // namespace BoardLook
