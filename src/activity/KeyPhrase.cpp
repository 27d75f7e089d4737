#include "activity/KeyPhrase.h"

#include <QSet>
#include <QStringList>
#include <algorithm>
#include <vector>

namespace {

const QSet<QString>& filler()
{
    static const QSet<QString> words = {
        "um",     "uh",   "like", "yeah", "okay", "ok",    "so",     "right", "well",  "just",  "actually", "basically",
        "really", "kind", "sort", "mean", "know", "thing", "things", "stuff", "gonna", "wanna", "lot",
    };
    return words;
}

const QSet<QString>& weakVerbs()
{
    static const QSet<QString> words = {"is", "are",  "was", "were", "be",  "been", "have",  "has",  "had",
                                        "do", "does", "did", "go",   "get", "got",  "think", "guess"};
    return words;
}

bool breaksRun(const std::optional<WordClass>& tag)
{
    return tag == WordClass::Punctuation || tag == WordClass::SentenceTerminator || tag == WordClass::Conjunction
        || tag == WordClass::OtherPunctuation;
}

bool isContent(const TaggedWord& t)
{
    if (!t.tag)
        return false;
    const QString low = t.text.toLower();
    if (filler().contains(low))
        return false;
    if (*t.tag == WordClass::Verb && weakVerbs().contains(low))
        return false;
    switch (*t.tag) {
    case WordClass::Noun:
    case WordClass::Adjective:
    case WordClass::Number:
    case WordClass::Verb:
    case WordClass::OtherWord:
        return true;
    default:
        return false;
    }
}

} // namespace

namespace KeyPhrase {

std::optional<QString> extract(const QString& text, int maxWords)
{
    return extract(text, maxWords, WordTagger::shared());
}

std::optional<QString> extract(const QString& text, int maxWords, WordTagger& tagger)
{
    const QString t = text.trimmed();
    if (t.split(QLatin1Char(' '), Qt::SkipEmptyParts).size() < 3)
        return std::nullopt;

    std::vector<std::vector<TaggedWord>> runs(1);
    for (TaggedWord& token : tagger.tag(t)) {
        if (breaksRun(token.tag)) {
            if (!runs.back().empty())
                runs.emplace_back();
            continue;
        }
        runs.back().push_back(std::move(token));
    }

    std::optional<std::vector<TaggedWord>> best;
    double bestScore = 0;
    for (const auto& run : runs) {
        const auto start = std::find_if(run.begin(), run.end(), [](const TaggedWord& w) {
            return (w.tag == WordClass::Noun || w.tag == WordClass::Adjective) && isContent(w);
        });
        if (start == run.end())
            continue;
        const auto take = std::min<std::ptrdiff_t>(std::max(maxWords, 0), run.end() - start);
        std::vector<TaggedWord> candidate(start, start + take);
        while (!candidate.empty() && !isContent(candidate.back()))
            candidate.pop_back();

        const auto len = int(candidate.size());
        int nouns = 0, adjectives = 0, numbers = 0;
        for (const TaggedWord& w : candidate) {
            nouns += w.tag == WordClass::Noun && isContent(w);
            adjectives += w.tag == WordClass::Adjective;
            numbers += w.tag == WordClass::Number;
        }
        if (len < 2 || nouns < 1 || nouns + adjectives + numbers < 2)
            continue;
        const double score = std::min(len, 5) * 0.3 + 2 * nouns + adjectives + 2 * numbers;
        if (!best || score > bestScore) {
            best = std::move(candidate);
            bestScore = score;
        }
    }
    if (!best)
        return std::nullopt;
    QStringList words;
    for (const TaggedWord& w : *best)
        words << w.text;
    QString phrase = words.join(QLatin1Char(' '));
    phrase[0] = phrase[0].toLower();
    return phrase;
}

} // namespace KeyPhrase
