#include "platform/Wording.h"

#include <QRegularExpression>

namespace {

struct Word {
    const char* mac;
    const char* ours;
};

// Whole words only.
constexpr Word words[] = {
    {"Mac", "computer"},
};

enum Modifier { ctrl = 1, alt = 2, shift = 4 };

int modifierOf(QChar c)
{
    switch (c.unicode()) {
    case 0x2318: // ⌘ command: Ctrl on Linux
    case 0x2303: // ⌃ control
        return ctrl;
    case 0x2325: // ⌥ option
        return alt;
    case 0x21E7: // ⇧ shift
        return shift;
    default:
        return 0;
    }
}

} // namespace

namespace Wording {

QString shown(const QString& text)
{
    QString out;
    out.reserve(text.size() + 8);
    for (qsizetype i = 0; i < text.size();) {
        int mods = 0;
        qsizetype j = i;
        while (j < text.size() && modifierOf(text[j]))
            mods |= modifierOf(text[j++]);
        if (!mods) {
            out += text[i++];
            continue;
        }
        // Linux writes modifiers in this order, joined by "+", then the key.
        if (mods & ctrl)
            out += QLatin1String("Ctrl+");
        if (mods & alt)
            out += QLatin1String("Alt+");
        if (mods & shift)
            out += QLatin1String("Shift+");
        if (j < text.size() && text[j] == QChar(0x2423)) { // ␣ the space bar
            out += QLatin1String("Space");
            ++j;
        } else if (j < text.size()) {
            out += text[j++];
        } else {
            out.chop(1); // modifiers alone: no dangling "+"
        }
        i = j;
    }
    for (const Word& w : words) {
        static const QString pattern = QStringLiteral("\\b%1\\b");
        out.replace(QRegularExpression(pattern.arg(QLatin1String(w.mac))), QLatin1String(w.ours));
    }
    return out;
}

} // namespace Wording
