#pragma once

#include <QString>

// Text padded the way pasted or recognised text arrives: white space as Unicode
// counts it, line breaks included, which every trimming path takes off; and a
// zero-width space, which only looks blank and stays.
namespace UnicodeSpace {

// No-break space, line separator, next line, ideographic space, then ASCII.
inline const QString blank = QString::fromUtf8("\u00a0\u2028\u0085\u3000 \t\n");
inline const QString zeroWidth = QString::fromUtf8("\u200b");

inline QString padded(const QString& text)
{
    return blank + text + blank;
}

} // namespace UnicodeSpace
