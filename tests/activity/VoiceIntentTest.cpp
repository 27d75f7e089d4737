#include "activity/VoiceIntent.h"

#include <gtest/gtest.h>

// Found by argument lookup, so it lives beside VoiceIntent.
void PrintTo(const VoiceIntent& v, std::ostream* os)
{
    *os << int(v.kind) << " \"" << v.text.toStdString() << "\"";
}

namespace {

using K = VoiceIntent::Kind;

struct Case {
    const char* input;
    K kind;
    const char* text;
};

TEST(VoiceIntent, ParsesCommands)
{
    const Case cases[] = {
        // The table of examples.
        {"Screenshot, their pricing leads with the annual plan.", K::screenshot,
         "Their pricing leads with the annual plan"},
        {"Okay, save this", K::screenshot, ""},
        {"take a screenshot of the leaderboard", K::screenshot, "The leaderboard"},
        {"Note: check the venue page on mobile.", K::note, "Check the venue page on mobile"},
        {"note that Varra wants the export by Friday", K::note, "Varra wants the export by Friday"},
        {"Card send the brief to Varra", K::card, "Send the brief to Varra"},
        {"Add a to-do: renew the domain", K::card, "Renew the domain"},
        {"To do, fix the wallet filter tooltip.", K::card, "Fix the wallet filter tooltip"},
        {"Notebook is on the desk", K::unknown, "Notebook is on the desk"},
        {"What time is it", K::unknown, "What time is it"},
        // Fillers, wake phrases and their order.
        {"okay, so um note buy milk", K::note, "Buy milk"},
        {"Hey Zelvan, note call the venue", K::note, "Call the venue"},
        {"hey selvin screenshot", K::screenshot, ""},
        {"something to note", K::unknown, "something to note"},
        {"ok card fix it", K::card, "Fix it"},
        // Empty and filler-only inputs keep the whole trimmed input.
        {"", K::unknown, ""},
        {"  \n ", K::unknown, ""},
        {" um, okay. ", K::unknown, "um, okay."},
        // White space as Unicode counts it goes like any other; a zero-width space stays.
        {"\u00a0\u2028note \u3000buy milk\u0085\u3000", K::note, "Buy milk"},
        {"\u3000What time is it\u2028\u0085", K::unknown, "What time is it"},
        {"\u200bWhat time is it\u200b", K::unknown, "\u200bWhat time is it\u200b"},
        // Lead words, once each and in order.
        {"card of that saying ship it", K::card, "Ship it"},
        {"card that of ship it", K::card, "Of ship it"},
        // Case: the match ignores it, the payload keeps it but for its first letter.
        {"NOTE call iPhone support", K::note, "Call iPhone support"},
        {"note élan vital", K::note, "Élan vital"},
        // Separators after a head; a head run into a letter is no head.
        {"note-buy milk", K::note, "Buy milk"},
        {"screenshot. done", K::screenshot, "Done"},
        {"cards are fun", K::unknown, "cards are fun"},
        {"todo renew", K::card, "Renew"},
        {"to-do renew", K::card, "Renew"},
        {"new card", K::card, ""},
        // A closing bracket or quote at the end belongs to the text.
        {"note call Bob (Friday)", K::note, "Call Bob (Friday)"},
        {"note say \"hi\"", K::note, "Say \"hi\""},
        {"note call Bob (Friday).", K::note, "Call Bob (Friday)"},
        {"note is it done?!", K::note, "Is it done"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(VoiceIntent::parse(QString::fromUtf8(c.input)), (VoiceIntent{c.kind, QString::fromUtf8(c.text)}))
            << "input: " << c.input;
    }
}

} // namespace
