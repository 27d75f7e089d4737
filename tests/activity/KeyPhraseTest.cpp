#include "activity/KeyPhrase.h"

#include <QHash>
#include <QStringList>
#include <gtest/gtest.h>

namespace {

using W = WordClass;

// Tags from a fixed table; words split at blanks, "," and "." standing alone.
class StubTagger final : public WordTagger {
public:
    std::vector<TaggedWord> tag(const QString& text) override
    {
        static const QHash<QString, W> classes = {
            {"pricing", W::Noun},       {"page", W::Noun},
            {"plan", W::Noun},          {"release", W::Noun},
            {"filter", W::Noun},        {"leaderboard", W::Noun},
            {"Friday", W::Noun},        {"budget", W::Noun},
            {"team", W::Noun},          {"version", W::Noun},
            {"annual", W::Adjective},   {"new", W::Adjective},
            {"big", W::Adjective},      {"red", W::Adjective},
            {"good", W::Adjective},     {"leads", W::Verb},
            {"ship", W::Verb},          {"is", W::Verb},
            {"think", W::Verb},         {"stuff", W::Noun},
            {"thing", W::Noun},         {"the", W::Determiner},
            {"a", W::Determiner},       {"with", W::Preposition},
            {"before", W::Preposition}, {"for", W::Preposition},
            {"we", W::Pronoun},         {"it", W::Pronoun},
            {"quickly", W::Adverb},     {"and", W::Conjunction},
            {"so", W::Adverb},          {"yeah", W::Interjection},
            {",", W::Punctuation},      {".", W::SentenceTerminator},
            {"42", W::Number},          {"3", W::Number},
            {"okay", W::Interjection},  {"right", W::Adjective},
        };
        QString spaced = text;
        spaced.replace(",", " , ").replace(".", " . ");
        std::vector<TaggedWord> out;
        for (const QString& w : spaced.split(' ', Qt::SkipEmptyParts)) {
            const auto it = classes.find(w);
            out.push_back({w, it == classes.end() ? std::nullopt : std::optional<W>(*it)});
        }
        return out;
    }
};

std::optional<QString> extract(const char* text, int maxWords = 7)
{
    StubTagger tagger;
    return KeyPhrase::extract(QString::fromUtf8(text), maxWords, tagger);
}

TEST(KeyPhrase, Rules)
{
    struct Case {
        const char* text;
        int maxWords;
        std::optional<QString> phrase;
    };
    const Case cases[] = {
        {"the pricing page leads with the annual plan", 7, "pricing page leads with the annual plan"},
        // Too short, whatever the words.
        {"pricing page", 7, std::nullopt},
        {"  pricing   page  ", 7, std::nullopt},
        // Nothing that starts a phrase.
        {"yeah okay right", 7, std::nullopt},
        // Two adjectives alone never qualify; a noun and a number do.
        {"the big red", 7, std::nullopt},
        {"the big red , team 42", 7, "team 42"},
        // A capital at the start goes; later ones stay.
        {"Friday release before Friday", 7, "friday release before Friday"},
        // The tail is trimmed of words that carry nothing; inside they stay.
        {"the pricing page with the", 7, "pricing page"},
        {"the new plan is", 7, "new plan"},
        {"the new stuff quickly", 7, std::nullopt},
        // Conjunctions and punctuation split runs: the best run wins, the earlier on a tie.
        {"the new plan and the big budget", 7, "new plan"},
        {"the plan . the big new budget", 7, "big new budget"},
        // Only the first start of a run is tried; maxWords counts every token.
        {"the big with the with the plan", 3, std::nullopt},
        {"the pricing page leads with the annual plan", 3, "pricing page leads"},
        // A weak verb and filler are no content; an unknown word has no class.
        {"the good thing is", 7, std::nullopt},
        {"the team version zorblat", 7, "team version"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(extract(c.text, c.maxWords), c.phrase) << c.text << " / " << c.maxWords;
}

TEST(KeyPhrase, WithTheSystemTagger)
{
    const auto pricing = KeyPhrase::extract("so um I think their pricing page leads with the annual plan you know");
    ASSERT_TRUE(pricing.has_value());
    EXPECT_TRUE(pricing->contains("pricing page")) << pricing->toStdString();

    EXPECT_EQ(KeyPhrase::extract("yeah okay right"), std::nullopt);
    EXPECT_EQ(KeyPhrase::extract("pricing page"), std::nullopt);

    const auto release = KeyPhrase::extract("we should ship the leaderboard filter before the Friday release");
    ASSERT_TRUE(release.has_value());
    EXPECT_LE(release->split(' ').size(), 7);

    // Separate sentences are never joined.
    const auto split = KeyPhrase::extract("The budget grew. Marketing wants three new designers");
    ASSERT_TRUE(split.has_value());
    EXPECT_FALSE(split->contains("grew Marketing")) << split->toStdString();

    // Live hearing frees the dictionary when it stops; the next phrase loads it again.
    WordTagger::shared().release();
    EXPECT_EQ(KeyPhrase::extract("so um I think their pricing page leads with the annual plan you know"), pricing);
}

} // namespace
