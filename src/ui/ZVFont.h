#pragma once

#include <QFont>

// The kit's two type families: sans is Inter, mono is JetBrains Mono. Sizes are
// in points, one point to one logical pixel; weights are Qt's (semibold is
// DemiBold, heavy is ExtraBold). A missing family is logged once; Qt's nearest
// match then draws instead.
namespace ZVFont {

inline constexpr const char* sansFamily = "Inter";
inline constexpr const char* monoFamily = "JetBrains Mono";

QFont sans(qreal size, QFont::Weight weight = QFont::Normal);
QFont mono(qreal size, QFont::Weight weight = QFont::Medium);

// Letter tracking: `points` of extra space after every character.
QFont tracked(QFont font, qreal points);

} // namespace ZVFont
