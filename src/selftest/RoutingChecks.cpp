#include "activity/VoiceIntent.h"
#include "core/Privacy.h"
#include "core/Workspace.h"
#include "selftest/SelfTest.h"
#include "selftest/Suites.h"
#include "session/NoteCard.h"
#include "session/OCR.h"
#include "session/RouteResult.h"
#include "session/Router.h"

#include <QImage>

namespace {

QString intentText(const VoiceIntent& intent)
{
    static const char* const kinds[] = {"screenshot", "note", "card", "unknown"};
    return QString::fromLatin1(kinds[int(intent.kind)]) + QStringLiteral("(\"") + intent.text + QStringLiteral("\")");
}

} // namespace

namespace SelfTest {

void routingChecks(RunContext& run)
{
    std::vector<AppSpan> spans;
    AppSpan::merge(spans, 0, QStringLiteral("Chrome"), QStringLiteral("Bramel"));
    AppSpan::merge(spans, 2, QStringLiteral("Chrome"), QStringLiteral("Bramel"));
    AppSpan::merge(spans, 4, QStringLiteral("Figma"), QStringLiteral("Leaderboard"));
    AppSpan::merge(spans, 6, QStringLiteral("Figma"), QStringLiteral("Leaderboard"));
    const Privacy::Result vault = Privacy::classify(QStringLiteral("1Password"),
                                                    QStringLiteral("com.1password.1password"), QStringLiteral("Vault"),
                                                    true);
    AppSpan::merge(spans, 8, vault.app, vault.title);
    run.appSpans = spans;
    check(spans.size() == 3 && spans[0] == AppSpan{0, 4, QStringLiteral("Chrome"), QStringLiteral("Bramel")}
              && spans[1].end == 8 && spans[2].app == QStringLiteral("(private)") && !spans[2].title,
          QStringLiteral("app spans {t, end, app, title}; private apps without title"));

    const Workspace bramel(QStringLiteral("Bramel"), QStringLiteral("https://bramel.example.invalid"));
    const Workspace tovarind(QStringLiteral("Tovarind"), QStringLiteral("https://tovarind.example.invalid"));
    const auto clear = Router::decide({{tovarind, 0.31, {}}, {bramel, 0.72, {QStringLiteral("window titles")}}});
    const auto close = Router::decide({{bramel, 0.65, {}}, {tovarind, 0.5, {}}});
    const auto lone = Router::decide({{bramel, 0.55, {}}});
    const auto none = Router::decide({});
    check(clear && clear->best.ws.name == QStringLiteral("Bramel") && clear->autoFile && close && !close->autoFile
              && lone && !lone->autoFile && !none,
          QStringLiteral("routing: 72% vs 31% uploads by itself; 65 vs 50 and a lone 55% ask; no scores -> default "
                         "workspace"));

    const std::vector<std::pair<QString, VoiceIntent>> phrases{
        {QStringLiteral("Screenshot, their pricing leads with the annual plan."),
         VoiceIntent::screenshot(QStringLiteral("Their pricing leads with the annual plan"))},
        {QStringLiteral("Okay, save this"), VoiceIntent::screenshot(QString())},
        {QStringLiteral("take a screenshot of the leaderboard"),
         VoiceIntent::screenshot(QStringLiteral("The leaderboard"))},
        {QStringLiteral("Note: check the venue page on mobile."),
         VoiceIntent::note(QStringLiteral("Check the venue page on mobile"))},
        {QStringLiteral("note that Varra wants the export by Friday"),
         VoiceIntent::note(QStringLiteral("Varra wants the export by Friday"))},
        {QStringLiteral("Card send the brief to Varra"), VoiceIntent::card(QStringLiteral("Send the brief to Varra"))},
        {QStringLiteral("Add a to-do: renew the domain"), VoiceIntent::card(QStringLiteral("Renew the domain"))},
        {QStringLiteral("To do, fix the wallet filter tooltip."),
         VoiceIntent::card(QStringLiteral("Fix the wallet filter tooltip"))},
        {QStringLiteral("Notebook is on the desk"), VoiceIntent::unknown(QStringLiteral("Notebook is on the desk"))},
        {QStringLiteral("What time is it"), VoiceIntent::unknown(QStringLiteral("What time is it"))},
    };
    QStringList wrong;
    for (const auto& [phrase, expected] : phrases) {
        const VoiceIntent got = VoiceIntent::parse(phrase);
        if (!(got == expected))
            wrong << phrase + QStringLiteral(" -> ") + intentText(got);
    }
    check(wrong.isEmpty(),
          QStringLiteral("voice intents: screenshot / save this, note, card / to-do, unknown (%1 phrases)")
              .arg(phrases.size()),
          wrong.join(QStringLiteral("; ")));

    const auto card = NoteCard::jpeg(QStringLiteral("Check the venue page on mobile"));
    const QImage decoded = card ? QImage::fromData(*card, "JPEG") : QImage();
    if (decoded.isNull()) {
        check(false, QStringLiteral("note card render"));
    } else {
        check(OCR::text(decoded, false).contains(QStringLiteral("venue page")),
              QStringLiteral("text-only pin travels as a note card (OCR reads it back)"),
              QString::number(card->size()) + QStringLiteral(" bytes"));
    }
}

} // namespace SelfTest
