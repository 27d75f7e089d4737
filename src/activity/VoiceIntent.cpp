#include "activity/VoiceIntent.h"

#include "core/Strings.h"

#include <QStringList>
#include <vector>

namespace {

struct Rule {
    QStringList prefixes;
    VoiceIntent (*make)(const QString&);
};

const QStringList& fillers()
{
    static const QStringList list = {
        QStringLiteral("hey zelvan"), QStringLiteral("hey selvin"), QStringLiteral("zelvan"),
        QStringLiteral("okay"),       QStringLiteral("ok"),         QStringLiteral("please"),
        QStringLiteral("so"),         QStringLiteral("um"),         QStringLiteral("uh"),
    };
    return list;
}

const std::vector<Rule>& rules()
{
    static const std::vector<Rule> list = {
        {{QStringLiteral("take a screenshot"), QStringLiteral("screenshot"), QStringLiteral("screen shot"),
          QStringLiteral("save this"), QStringLiteral("pin this"), QStringLiteral("capture this")},
         VoiceIntent::screenshot},
        {{QStringLiteral("make a note"), QStringLiteral("add a note"), QStringLiteral("take a note"),
          QStringLiteral("note that"), QStringLiteral("note")},
         VoiceIntent::note},
        {{QStringLiteral("add a card"), QStringLiteral("new card"), QStringLiteral("make a card"),
          QStringLiteral("create a card"), QStringLiteral("card"), QStringLiteral("add a to-do"),
          QStringLiteral("add a todo"), QStringLiteral("add to-do"), QStringLiteral("to-do"), QStringLiteral("todo"),
          QStringLiteral("to do")},
         VoiceIntent::card},
    };
    return list;
}

// Spaces and tabs, not line breaks.
bool isBlank(QChar c)
{
    return c == QLatin1Char('\t') || c.category() == QChar::Separator_Space;
}

bool isSentenceMark(QChar c)
{
    return QStringLiteral(".,;:!?").contains(c);
}

// Blanks and punctuation go from the front; from the end only blanks and one run
// of sentence marks, so a closing bracket or quote that belongs to the text stays.
QString trimCommand(const QString& s)
{
    qsizetype begin = 0;
    while (begin < s.size() && (isBlank(s[begin]) || s[begin].isPunct()))
        ++begin;
    qsizetype end = s.size();
    while (end > begin && isBlank(s[end - 1]))
        --end;
    while (end > begin && isSentenceMark(s[end - 1]))
        --end;
    while (end > begin && isBlank(s[end - 1]))
        --end;
    return s.mid(begin, end - begin);
}

QString trimPayload(const QString& s)
{
    static const QString marks = QStringLiteral(",:.;-–—");
    auto strip = [](QChar c) { return isBlank(c) || marks.contains(c); };
    qsizetype begin = 0;
    qsizetype end = s.size();
    while (begin < end && strip(s[begin]))
        ++begin;
    while (end > begin && strip(s[end - 1]))
        --end;
    return s.mid(begin, end - begin);
}

bool startsWithWord(const QString& low, const QString& word, const QString& separators)
{
    if (low == word)
        return true;
    for (const QChar sep : separators)
        if (low.startsWith(word + sep))
            return true;
    return false;
}

QString payload(const QString& rest0)
{
    QString rest = trimPayload(rest0);
    for (const QString& lead : {QStringLiteral("of "), QStringLiteral("that "), QStringLiteral("saying ")})
        if (rest.toLower().startsWith(lead))
            rest = rest.mid(lead.size());
    rest = rest.trimmed();
    if (rest.endsWith(QLatin1Char('.')))
        rest.chop(1);
    if (!rest.isEmpty()) {
        const QString first = leftGraphemes(rest, 1);
        rest = first.toUpper() + rest.mid(first.size());
    }
    return rest;
}

} // namespace

VoiceIntent VoiceIntent::parse(const QString& text)
{
    QString s = text.trimmed();
    for (;;) {
        s = trimCommand(s);
        const QString low = s.toLower();
        bool removed = false;
        for (const QString& f : fillers()) {
            if (startsWithWord(low, f, QStringLiteral(" ,"))) {
                s = s.mid(f.size());
                removed = true;
                break;
            }
        }
        if (!removed)
            break;
    }

    const QString low = s.toLower();
    for (const Rule& rule : rules()) {
        for (const QString& p : rule.prefixes) {
            if (startsWithWord(low, p, QStringLiteral(" ,:.-")))
                return rule.make(payload(s.mid(p.size())));
        }
    }
    return unknown(text.trimmed());
}
