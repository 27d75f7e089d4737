#include "platform/WordTagger.h"

#include "platform/Memory.h"
#include "platform/SystemLog.h"

#include <QRegularExpression>
#include <QSet>
#include <link-grammar/dict-api.h>
#include <link-grammar/link-includes.h>
#include <mutex>

namespace {

bool isPunctuationMark(const QString& token)
{
    for (const QChar c : token)
        if (!c.isPunct() && !c.isSymbol())
            return false;
    return !token.isEmpty();
}

// Words and marks as they stand in the text: runs of letters, digits, apostrophes
// and inner hyphens, and single punctuation marks.
std::vector<QString> tokens(const QString& text)
{
    static const QRegularExpression word(QStringLiteral(R"([\p{L}\p{M}\p{N}]+(?:['’.,-][\p{L}\p{M}\p{N}]+)*|\S)"));
    std::vector<QString> out;
    for (auto it = word.globalMatch(text); it.hasNext();)
        out.push_back(it.next().captured());
    return out;
}

std::optional<WordClass> punctuationClass(const QString& token)
{
    static const QString terminators = QStringLiteral(".!?…");
    static const QString marks = QStringLiteral(",;:-–—()[]{}\"'“”‘’");
    if (terminators.contains(token))
        return WordClass::SentenceTerminator;
    if (marks.contains(token))
        return WordClass::Punctuation;
    return WordClass::OtherPunctuation;
}

// link-grammar marks a word's use with a suffix: "page.n", "leads.v", "annual.a".
std::optional<WordClass> classOf(const QString& lower, const QString& suffix)
{
    static const QRegularExpression number(QStringLiteral(R"(^[+-]?\d+(?:[.,]\d+)*(?:%|st|nd|rd|th|s)?$)"));
    static const QSet<QString> conjunctions = {QStringLiteral("and"),     QStringLiteral("or"),
                                               QStringLiteral("but"),     QStringLiteral("nor"),
                                               QStringLiteral("because"), QStringLiteral("although"),
                                               QStringLiteral("while")};
    static const QSet<QString> determiners = {QStringLiteral("the"),   QStringLiteral("a"),    QStringLiteral("an"),
                                              QStringLiteral("this"),  QStringLiteral("that"), QStringLiteral("these"),
                                              QStringLiteral("those"), QStringLiteral("some"), QStringLiteral("any"),
                                              QStringLiteral("every"), QStringLiteral("each"), QStringLiteral("no")};
    static const QSet<QString> pronouns = {QStringLiteral("i"),    QStringLiteral("you"),  QStringLiteral("he"),
                                           QStringLiteral("she"),  QStringLiteral("it"),   QStringLiteral("we"),
                                           QStringLiteral("they"), QStringLiteral("me"),   QStringLiteral("him"),
                                           QStringLiteral("her"),  QStringLiteral("us"),   QStringLiteral("them"),
                                           QStringLiteral("my"),   QStringLiteral("your"), QStringLiteral("his"),
                                           QStringLiteral("its"),  QStringLiteral("our"),  QStringLiteral("their"),
                                           QStringLiteral("mine"), QStringLiteral("yours")};
    if (number.match(lower).hasMatch())
        return WordClass::Number;
    if (conjunctions.contains(lower))
        return WordClass::Conjunction;
    if (pronouns.contains(lower))
        return WordClass::Pronoun;
    if (determiners.contains(lower))
        return WordClass::Determiner;
    if (suffix.isEmpty())
        return std::nullopt;
    const QChar kind = suffix.front();
    if (suffix.startsWith(QLatin1String("ij")))
        return WordClass::Interjection;
    if (suffix.startsWith(QLatin1Char('j')))
        return WordClass::Conjunction;
    switch (kind.unicode()) {
    case 'n': // nouns, mass nouns
    case 's': // singular nouns
    case 'p': // plural nouns
    case 'g': // gerunds used as nouns ("pricing page")
    case 'c': // countable units ("dollars")
    case 'l': // places
    case 't': // titles
        return WordClass::Noun;
    case 'v':
    case 'q': // verbs that take a question
    case 'w':
        return WordClass::Verb;
    case 'a':
        return WordClass::Adjective;
    case 'e':
        return WordClass::Adverb;
    case 'r':
        return WordClass::Preposition;
    default:
        return WordClass::OtherWord;
    }
}

// The library prints its notes (such as a dictionary locale the system lacks)
// on standard output, which belongs to the self-test's report and to scripts;
// they go to the system log instead. Its handler is per thread.
void lgMessage(lg_errinfo* info, void*)
{
    if (!info || !info->text)
        return;
    SystemLog::write(QStringLiteral("link-grammar: ") + QString::fromUtf8(info->severity_label) + QStringLiteral(": ")
                     + QString::fromUtf8(info->text).trimmed());
}

void keepMessagesOffStdout()
{
    thread_local bool installed = false;
    if (!installed) {
        lg_error_set_handler(lgMessage, nullptr);
        installed = true;
    }
}

class LinkGrammarTagger final : public WordTagger {
public:
    LinkGrammarTagger()
    {
        options_ = parse_options_create();
        parse_options_set_verbosity(options_, 0);
        parse_options_set_linkage_limit(options_, 1);
        // Heard speech is rarely grammatical: a parse that skips words is better than none.
        parse_options_set_max_parse_time(options_, 1);
        parse_options_set_islands_ok(options_, true);
    }

    ~LinkGrammarTagger() override
    {
        keepMessagesOffStdout();
        parse_options_delete(options_);
        if (dictionary_)
            dictionary_delete(dictionary_);
    }

    // The dictionary (some 15 MB) goes until the next tag().
    void release() override
    {
        std::lock_guard lock(mutex_);
        keepMessagesOffStdout();
        if (dictionary_)
            dictionary_delete(dictionary_);
        dictionary_ = nullptr;
        // Its many small pieces would otherwise stay with the process.
        Memory::giveBack();
    }

    std::vector<TaggedWord> tag(const QString& text) override
    {
        std::lock_guard lock(mutex_);
        if (!dictionary_) {
            keepMessagesOffStdout();
            dictionary_ = dictionary_create_lang("en");
        }
        std::vector<TaggedWord> out;
        const std::vector<QString> words = tokens(text);
        for (const QString& w : words)
            out.push_back({w, std::nullopt});
        // Suffixes from the parse, matched to the tokens in order.
        std::vector<QString> suffixes(words.size());
        std::vector<bool> linked(words.size(), false);
        // Heard speech runs on without full stops and is rarely grammatical: it is
        // parsed in short pieces, which keeps the parser fast and finds more links.
        std::size_t begin = 0;
        for (std::size_t i = 0; i <= words.size(); ++i) {
            if (i == words.size() || isPunctuationMark(words[i]) || i - begin == maxChunk) {
                parse(words, begin, i, suffixes, linked);
                begin = i < words.size() && isPunctuationMark(words[i]) ? i + 1 : i;
            }
        }
        for (std::size_t i = 0; i < words.size(); ++i)
            if (!linked[i] && !isPunctuationMark(words[i]))
                suffixes[i] = lookup(words[i]);
        for (std::size_t i = 0; i < words.size(); ++i) {
            if (isPunctuationMark(words[i])) {
                out[i].tag = punctuationClass(words[i]);
                continue;
            }
            const QString lower = words[i].toLower();
            out[i].tag = classOf(lower, suffixes[i]);
            if (!out[i].tag && linked[i])
                out[i].tag = WordClass::OtherWord;
        }
        return out;
    }

private:
    static constexpr std::size_t maxChunk = 12;

    // A word the parse left out: its likeliest use in the dictionary, nouns first.
    QString lookup(const QString& word)
    {
        if (!dictionary_)
            return {};
        keepMessagesOffStdout();
        const QByteArray w = word.toLower().toUtf8();
        Dict_node* entries = dictionary_lookup_list(dictionary_, w.constData());
        QString best;
        int bestRank = 99;
        static const QString order = QStringLiteral("nsgpavqwe");
        for (Dict_node* e = entries; e; e = e->right) {
            const QString entry = QString::fromUtf8(e->string);
            const qsizetype dot = entry.lastIndexOf(QLatin1Char('.'));
            if (dot < 0 || dot + 1 >= entry.size())
                continue;
            const QString suffix = entry.mid(dot + 1);
            const auto rank = order.indexOf(suffix.front());
            if (rank >= 0 && rank < bestRank) {
                bestRank = int(rank);
                best = suffix;
            }
        }
        if (entries)
            free_lookup_list(dictionary_, entries);
        return best;
    }

    void parse(const std::vector<QString>& all, std::size_t begin, std::size_t end, std::vector<QString>& allSuffixes,
               std::vector<bool>& allLinked)
    {
        if (!dictionary_ || begin >= end)
            return;
        const std::vector<QString> words(all.begin() + std::ptrdiff_t(begin), all.begin() + std::ptrdiff_t(end));
        std::vector<QString> suffixes(words.size());
        std::vector<bool> linked(words.size(), false);
        parseChunk(words, suffixes, linked);
        for (std::size_t i = 0; i < words.size(); ++i) {
            allSuffixes[begin + i] = suffixes[i];
            allLinked[begin + i] = linked[i];
        }
    }

    void parseChunk(const std::vector<QString>& words, std::vector<QString>& suffixes, std::vector<bool>& linked)
    {
        QStringList joined;
        for (const QString& w : words)
            joined << w;
        const QByteArray input = joined.join(QLatin1Char(' ')).toUtf8();
        keepMessagesOffStdout();
        Sentence sentence = sentence_create(input.constData(), dictionary_);
        if (!sentence)
            return;
        if (sentence_split(sentence, options_) == 0) {
            parse_options_set_min_null_count(options_, 0);
            parse_options_set_max_null_count(options_, 0);
            int found = sentence_parse(sentence, options_);
            if (found <= 0) {
                parse_options_set_min_null_count(options_, 1);
                parse_options_set_max_null_count(options_, sentence_length(sentence));
                found = sentence_parse(sentence, options_);
            }
            if (found > 0) {
                if (Linkage linkage = linkage_create(0, sentence, options_)) {
                    align(linkage, words, suffixes, linked);
                    linkage_delete(linkage);
                }
            }
        }
        sentence_delete(sentence);
    }

    // The parse may drop, split or bracket words; each parsed word is matched to
    // the next token it spells.
    static void align(Linkage linkage, const std::vector<QString>& words, std::vector<QString>& suffixes,
                      std::vector<bool>& linked)
    {
        std::size_t next = 0;
        const std::size_t count = linkage_get_num_words(linkage);
        for (std::size_t i = 0; i < count && next < words.size(); ++i) {
            QString w = QString::fromUtf8(linkage_get_word(linkage, i));
            if (w == QLatin1String("LEFT-WALL") || w == QLatin1String("RIGHT-WALL"))
                continue;
            const bool skipped = w.startsWith(QLatin1Char('[')) && w.endsWith(QLatin1Char(']'));
            if (skipped)
                w = w.mid(1, w.size() - 2);
            w.remove(QStringLiteral("[?]"));
            w.remove(QStringLiteral("[!]"));
            QString suffix;
            const qsizetype dot = w.lastIndexOf(QLatin1Char('.'));
            if (dot > 0 && dot + 1 < w.size() && w[dot + 1].isLetter()) {
                suffix = w.mid(dot + 1);
                w = w.left(dot);
            }
            for (std::size_t j = next; j < words.size() && j < next + 3; ++j) {
                if (words[j].compare(w, Qt::CaseInsensitive) == 0) {
                    if (!skipped) {
                        suffixes[j] = suffix;
                        linked[j] = true;
                    }
                    next = j + 1;
                    break;
                }
            }
        }
    }

    std::mutex mutex_; // held through each tag() and release()
    Dictionary dictionary_ = nullptr;
    Parse_Options options_ = nullptr;
};

} // namespace

WordTagger& WordTagger::shared()
{
    static LinkGrammarTagger tagger;
    return tagger;
}
