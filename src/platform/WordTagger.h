#pragma once

#include <QString>
#include <optional>
#include <vector>

// Lexical classes of words in running text.
enum class WordClass {
    Noun,
    Verb,
    Adjective,
    Adverb,
    Number,
    Pronoun,
    Determiner,
    Preposition,
    Conjunction,
    Interjection,
    OtherWord,
    Punctuation,
    SentenceTerminator,
    OtherPunctuation,
};

struct TaggedWord {
    QString text;                 // as it stands in the input
    std::optional<WordClass> tag; // none when the tagger could not tell
};

// Tags every word and punctuation mark of a text, in order; white space is left out.
class WordTagger {
public:
    virtual ~WordTagger() = default;
    virtual std::vector<TaggedWord> tag(const QString& text) = 0;
    // Frees what the tagger loaded; the next tag() loads it again.
    virtual void release() {}

    // link-grammar with its English dictionary, loaded on first use and kept
    // until release(); safe to call from any thread.
    static WordTagger& shared();
};
