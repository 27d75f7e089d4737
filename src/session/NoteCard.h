#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// A text drawn as a 1200 × 630 card in the brand colours, so that a spoken or
// typed note travels like a screenshot and reads back through text recognition.
namespace NoteCard {

inline constexpr int width = 1200;
inline constexpr int height = 630;
// Notes longer than this many characters are set in the smaller size.
inline constexpr qsizetype largeTextLimit = 140;

// JPEG at quality 0.8; nothing when drawing or encoding fails. Needs a
// QGuiApplication (fonts); any thread.
std::optional<QByteArray> jpeg(const QString& text);

} // namespace NoteCard
