#pragma once

#include <QString>

// QString::trimmed() already strips exactly the Unicode white space and line
// breaks at both ends (categories Z*, tab, LF to CR, U+0085), so it is used as is.

// Letters, marks and digits of every script (Unicode categories L*, M*, N*).
bool isAlphanumeric(char32_t c);

// Percent-encodes one URL path segment or query value. Letters, marks and digits
// of every script stay as they are, as do "-._~"; everything else becomes "%XX"
// per UTF-8 byte. A string with a lone surrogate is returned unchanged.
QString urlComponent(const QString& text);

// Lengths of texts are counted in user-perceived characters (extended grapheme
// clusters): a letter with a combining accent or an emoji counts as one.
qsizetype graphemeCount(const QString& text);

// The first n user-perceived characters of the text; the whole text when it is
// not longer.
QString leftGraphemes(const QString& text, qsizetype n);

// The text shortened for display: more than n user-perceived characters become
// the first n − 1 followed by "…"; a shorter text is returned unchanged.
QString cut(const QString& text, qsizetype n);
