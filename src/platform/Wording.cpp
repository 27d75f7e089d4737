#include "platform/Wording.h"

#include <QRegularExpression>
#include <vector>

namespace {

struct Word {
    const char* mac;
    const char* ours;
};

// Whole words only.
constexpr Word words[] = {
    {"Mac", "computer"},
    {"Keychain", "keyring"},
    {"Vision OCR", "text recognition"},
    {"Dock icon", "taskbar entry"},
    {"menu bar only", "tray only"},
    {"menu bar", "tray"},
    {"macOS", "the system"},
};

// Longest first: "System Settings" alone is the fallback.
constexpr Word places[] = {
    // There is no speech permission here: recognition is off only when the models are missing.
    {"System Settings › Privacy & Security › Speech Recognition", "install the package pocketsphinx-en-us"},
    {"System Settings › Privacy & Security › Microphone", "Settings › Sound › Input"},
    {"System Settings", "Settings"},
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
    static const std::vector<std::pair<QRegularExpression, QString>> table = [] {
        std::vector<std::pair<QRegularExpression, QString>> t;
        for (const Word& w : words)
            t.emplace_back(QRegularExpression(QStringLiteral("\\b%1\\b").arg(QLatin1String(w.mac))),
                           QString::fromUtf8(w.ours));
        return t;
    }();
    for (const Word& p : places)
        out.replace(QString::fromUtf8(p.mac), QString::fromUtf8(p.ours));
    for (const auto& [pattern, replacement] : table)
        out.replace(pattern, replacement);
    return out;
}

} // namespace Wording
