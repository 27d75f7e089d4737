#pragma once

#include <QString>

// What a spoken command asks for: a screenshot pin with an optional note, a
// note, a card, or nothing understood.
struct VoiceIntent {
    enum class Kind { screenshot, note, card, unknown };

    Kind kind = Kind::unknown;
    // The note, the note's text, the card's title, or (unknown) the whole input trimmed.
    QString text;

    static VoiceIntent screenshot(const QString& note) { return {Kind::screenshot, note}; }
    static VoiceIntent note(const QString& text) { return {Kind::note, text}; }
    static VoiceIntent card(const QString& title) { return {Kind::card, title}; }
    static VoiceIntent unknown(const QString& text) { return {Kind::unknown, text}; }

    bool operator==(const VoiceIntent&) const = default;

    // Pure; callable from any thread.
    static VoiceIntent parse(const QString& text);
};
