#include "platform/Wording.h"
#include "selftest/Fixtures.h"
#include "selftest/Report.h"
#include "selftest/SelfTest.h"
#include "selftest/Suites.h"
#include "session/Frames.h"
#include "session/LevelTrack.h"
#include "session/OCR.h"
#include "session/ShotPolicy.h"

#include <QElapsedTimer>

namespace {

// 1200 × 420 white, three lines of 44-point text, the top one first.
QImage threeLineFrame()
{
    QImage img(1200, 420, QImage::Format_RGB32);
    img.fill(Qt::white);
    Fixtures::drawText(img, QStringLiteral("Bramel token launch console"), 40, 330, 44);
    Fixtures::drawText(img, QStringLiteral("Leaderboard ATH market caps"), 40, 250, 44);
    Fixtures::drawText(img, QStringLiteral("Pricing: annual plan first"), 40, 170, 44);
    return img;
}

} // namespace

namespace SelfTest {

// Frame keeping and text recognition, first block.
void captureChecks(RunContext& run)
{
    const QImage dark = Fixtures::image(false);
    const QImage boxed = Fixtures::image(true);
    const float same = Frames::diff(Frames::signature(dark), Frames::signature(dark));
    const float change = Frames::diff(Frames::signature(dark), Frames::signature(boxed));
    check(same < 0.001f && change > Frames::changeThreshold,
          QString::asprintf("frame signature: same = %.3f, slide change = %.3f", double(same), double(change)));

    run.j0 = Frames::jpeg(dark);
    run.j1 = Frames::jpeg(boxed);
    check(run.j0 && run.j1 && run.j0->startsWith(QByteArray("\xFF\xD8", 2)), QStringLiteral("JPEG q0.6 encode"),
          QString::number(run.j0 ? run.j0->size() : 0) + QStringLiteral(" bytes"));

    QElapsedTimer timer;
    timer.start();
    const QImage frame = threeLineFrame();
    const QString text = OCR::text(frame, false);
    const qint64 ms = timer.elapsed();
    run.frameText = text;
    check(text.contains(QStringLiteral("Bramel")) && text.toLower().contains(QStringLiteral("leaderboard"))
              && text.contains(QStringLiteral("annual")),
          Wording::shown(QStringLiteral("Vision OCR reads the frame, top to bottom (%1 ms)").arg(ms)),
          QString(text).replace(u'\n', QStringLiteral(" | ")));
    const QStringList lines = text.split(u'\n');
    check(!text.isEmpty() && lines.first().contains(QStringLiteral("Bramel"))
              && lines.last().contains(QStringLiteral("annual")),
          QStringLiteral("OCR line order"));

    const QString x1 = QStringLiteral("Bramel token launch console Leaderboard ATH market caps wallets cluster filters "
                                      "venue page layout settings pricing annual plan monthly plan support docs 12:01");
    const QString x2 = QString(x1).replace(QStringLiteral("12:01"), QStringLiteral("12:02"));
    check(OCR::isNearDuplicate(x1, x2)
              && !OCR::isNearDuplicate(QStringLiteral("Tovarind SEO audit for Brunnhafer"),
                                       QStringLiteral("Bramel token launch console"))
              && !OCR::isNearDuplicate(QStringLiteral("x"), std::nullopt),
          QStringLiteral("near-duplicate OCR text is skipped, new text kept"));
    check(OCR::clip(QString(5000, u'a'), OCR::maxChars).size() == 2000,
          QStringLiteral("OCR text capped at 2000 chars per frame"));
}

// Titles, slide changes and the speech window of automatic pins: second block.
void slideChecks(RunContext&)
{
    const QImage a = Fixtures::slide(QStringLiteral("Quarterly roadmap"),
                                     {QStringLiteral("Launch console polish"),
                                      QStringLiteral("Leaderboard automation")});
    const QImage b = Fixtures::slide(QStringLiteral("Pricing experiments"),
                                     {QStringLiteral("Annual plan first"), QStringLiteral("Monthly plan second")});
    const QImage c = Fixtures::slide(QStringLiteral("Quarterly roadmap"),
                                     {QStringLiteral("Launch console polish"),
                                      QStringLiteral("Leaderboard automation!")});
    const QImage s0 = Fixtures::slide(QStringLiteral("Quarterly roadmap"), {QStringLiteral("a")});
    const QImage s1 = Fixtures::slide(QStringLiteral("Pricing experiments"),
                                      {QStringLiteral("Annual plan first"), QStringLiteral("Monthly plan second"),
                                       QStringLiteral("Support")});

    const OCR::Reading ra = OCR::read(a, false);
    const OCR::Reading rb = OCR::read(b, false);
    check(ra.title == QStringLiteral("Quarterly roadmap") && rb.title == QStringLiteral("Pricing experiments"),
          QStringLiteral("title line = the tallest text, not the menu bar"),
          ra.title.value_or(QStringLiteral("nil")) + QStringLiteral(" / ") + rb.title.value_or(QStringLiteral("nil")));
    check(ShotPolicy::isTitleChange(rb.title.value_or(QString()), ra.title.value_or(QString()))
              && !ShotPolicy::isTitleChange(QStringLiteral("Quarterly roadmap"), QStringLiteral("Quarterly roadmap")),
          QStringLiteral("auto-pin: a new title counts as a slide/page change, the same title does not"));

    const auto fa = Frames::fine(a);
    const float fineAB = Frames::changedRatio(fa, Frames::fine(b));
    bool textOnly = false;
    if (fineAB >= Frames::fineCandidate) {
        const QString ta = OCR::text(a, true);
        textOnly = OCR::similarity(OCR::text(b, true), ta) < Frames::textKeepSimilarity
            && OCR::similarity(OCR::text(c, true), ta) >= Frames::textKeepSimilarity;
    }
    check(textOnly, QStringLiteral("text-only slide change is kept (fine pixels + quick OCR); a one-word edit is not"));
    const float coarse = Frames::diff(Frames::signature(s0), Frames::signature(s1));
    const float oneChar = Frames::changedRatio(fa, Frames::fine(c));
    report().info(QString::asprintf("slide change: coarse %.3f, fine changed %.3f; one char: fine %.4f", double(coarse),
                                    double(fineAB), double(oneChar)));

    std::vector<float> loudLevels(400, 0.0f);
    loudLevels[200] = 0.05f;
    const LevelTrack loud{0, loudLevels};
    const LevelTrack silent{0, std::vector<float>(400, 0.0f)};
    check(ShotPolicy::speech(45, loud, silent) && ShotPolicy::speech(59, loud, silent)
              && !ShotPolicy::speech(70, loud, silent) && !ShotPolicy::speech(50, silent, silent),
          QStringLiteral("auto-pin needs speech within ±10 s"));
}

} // namespace SelfTest
