#pragma once

#include "platform/WordTagger.h"

#include <QString>
#include <optional>

// Picks, from a stretch of spoken text, one short phrase that carries its subject
// ("pricing page"). Keeps no state.
namespace KeyPhrase {

// The best run of words that begins with a noun or adjective, ends with a content
// word and holds a noun; nothing when the text has none. Callable from any thread.
std::optional<QString> extract(const QString& text, int maxWords = 7);
// The same with a given tagger.
std::optional<QString> extract(const QString& text, int maxWords, WordTagger& tagger);

} // namespace KeyPhrase
