#include "core/Strings.h"

#include <QChar>
#include <QTextBoundaryFinder>

namespace {

bool allowed(char32_t c)
{
    return c == U'-' || c == U'.' || c == U'_' || c == U'~' || isAlphanumeric(c);
}

} // namespace

bool isAlphanumeric(char32_t c)
{
    switch (QChar::category(c)) {
    case QChar::Letter_Uppercase:
    case QChar::Letter_Lowercase:
    case QChar::Letter_Titlecase:
    case QChar::Letter_Modifier:
    case QChar::Letter_Other:
    case QChar::Mark_NonSpacing:
    case QChar::Mark_SpacingCombining:
    case QChar::Mark_Enclosing:
    case QChar::Number_DecimalDigit:
    case QChar::Number_Letter:
    case QChar::Number_Other:
        return true;
    default:
        return false;
    }
}

QString urlComponent(const QString& text)
{
    static constexpr char hex[] = "0123456789ABCDEF";
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar ch = text.at(i);
        char32_t code = ch.unicode();
        qsizetype units = 1;
        if (ch.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            code = QChar::surrogateToUcs4(ch, text.at(i + 1));
            units = 2;
        } else if (ch.isSurrogate()) {
            return text; // not valid Unicode
        }
        const QStringView piece(text.constData() + i, units);
        if (allowed(code)) {
            out += piece;
        } else {
            for (const char byte : piece.toUtf8()) {
                const auto b = static_cast<unsigned char>(byte);
                out += u'%';
                out += QLatin1Char(hex[b >> 4]);
                out += QLatin1Char(hex[b & 0xF]);
            }
        }
        i += units - 1;
    }
    return out;
}

qsizetype graphemeCount(const QString& text)
{
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype count = 0;
    while (finder.toNextBoundary() > 0)
        ++count;
    return count;
}

QString leftGraphemes(const QString& text, qsizetype n)
{
    if (n <= 0)
        return {};
    if (text.size() <= n) // fewer code units than n: cannot hold more characters
        return text;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype end = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const qsizetype next = finder.toNextBoundary();
        if (next < 0)
            return text;
        end = next;
    }
    return text.left(end);
}

QString cut(const QString& text, qsizetype n)
{
    if (text.size() <= n || graphemeCount(text) <= n)
        return text;
    return leftGraphemes(text, n - 1) + QStringLiteral("…");
}
