// The real recogniser (Tesseract) on text drawn offscreen.
#include "session/OCR.h"

#include "core/Log.h"
#include "core/Paths.h"
#include "support/TestSupport.h"
#include "support/TextImages.h"

#include <QFontInfo>
#include <gtest/gtest.h>

#include <future>
#include <ostream>
#include <vector>

// Readable failure messages for texts and titles.
void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}

namespace {

const QStringList slideA = {"Launch console polish", "Leaderboard automation"};
const QStringList slideB = {"Annual plan first", "Monthly plan second"};
const QStringList slideC = {"Launch console polish", "Leaderboard automation!"};

class OCRRecognition : public ::testing::TestWithParam<bool> {};

} // namespace

TEST(OCRRecognitionFixture, FontIsPinned)
{
    EXPECT_EQ(QFontInfo(TextImages::font(44)).family(), "DejaVu Sans");
}

TEST_P(OCRRecognition, ThreeLineFrameComesBackTopToBottom)
{
    const bool fast = GetParam();
    const QString text = OCR::text(TextImages::threeLineFrame(), fast);
    const QStringList lines = text.split('\n');
    ASSERT_EQ(lines.size(), 3) << text.toStdString();
    EXPECT_TRUE(lines.first().contains("Bramel")) << text.toStdString();
    EXPECT_TRUE(lines[1].toLower().contains("leaderboard")) << text.toStdString();
    EXPECT_TRUE(lines.last().contains("annual")) << text.toStdString();
    EXPECT_GE(OCR::similarity(text, TextImages::threeLines().join('\n')), 0.85) << text.toStdString();
}

TEST_P(OCRRecognition, SlideTitleIsTheHeadlineNotTheMenuBar)
{
    const bool fast = GetParam();
    const OCR::Reading a = OCR::read(TextImages::slide("Quarterly roadmap", slideA), fast);
    const OCR::Reading b = OCR::read(TextImages::slide("Pricing experiments", slideB), fast);
    EXPECT_EQ(a.title, "Quarterly roadmap") << a.text.toStdString();
    EXPECT_EQ(b.title, "Pricing experiments") << b.text.toStdString();
    if (!fast) {
        // The menu bar is small type, read in accurate mode, and comes first.
        EXPECT_GE(OCR::similarity(a.text.section('\n', 0, 0), TextImages::slideMenuBar()), 0.7) << a.text.toStdString();
        EXPECT_TRUE(a.text.endsWith("Leaderboard automation")) << a.text.toStdString();
    }
}

TEST_P(OCRRecognition, LightTextOnADarkScreenIsRead)
{
    QImage dark = TextImages::slide("Pricing experiments", slideB);
    dark.invertPixels();
    const OCR::Reading r = OCR::read(dark, GetParam());
    EXPECT_EQ(r.title, "Pricing experiments") << r.text.toStdString();
    EXPECT_TRUE(r.text.endsWith("Monthly plan second")) << r.text.toStdString();
}

TEST(OCRRecognitionFast, QuickTextTellsASlideChangeFromAOneCharacterEdit)
{
    const QString tA = OCR::text(TextImages::slide("Quarterly roadmap", slideA), true);
    const QString tB = OCR::text(TextImages::slide("Pricing experiments", slideB), true);
    const QString tC = OCR::text(TextImages::slide("Quarterly roadmap", slideC), true);
    EXPECT_LT(OCR::similarity(tB, tA), 0.7) << tA.toStdString() << " | " << tB.toStdString();
    EXPECT_GE(OCR::similarity(tC, tA), 0.7) << tA.toStdString() << " | " << tC.toStdString();
}

TEST(OCRRecognitionEdges, NoTextReadsEmptyAndAFailureIsLogged)
{
    TempSupport support;
    QImage blank(640, 360, QImage::Format_RGB32);
    blank.fill(QColor(30, 40, 60));
    for (const bool fast : {false, true}) {
        const OCR::Reading r = OCR::read(blank, fast);
        EXPECT_EQ(r.text, "");
        EXPECT_EQ(r.title, std::nullopt);
    }
    QImage tiny(1, 1, QImage::Format_RGB32);
    tiny.fill(Qt::black);
    EXPECT_EQ(OCR::text(tiny), "");
    slogFlush();
    EXPECT_FALSE(QFile::exists(Paths::logFile())) << readFile(Paths::logFile()).toStdString();

    const OCR::Reading r = OCR::read(QImage());
    EXPECT_EQ(r.text, "");
    EXPECT_EQ(r.title, std::nullopt);
    slogFlush();
    EXPECT_TRUE(readFile(Paths::logFile()).endsWith("  ocr: the image is empty\n"))
        << readFile(Paths::logFile()).toStdString();
}

TEST(OCRRecognitionThreads, ReadsOnSeveralThreadsAtOnceAgree)
{
    // The recorder reads fast on its capture queue while the accurate read runs on
    // its own queue; each thread must have its own engine.
    const QImage frame = TextImages::threeLineFrame();
    const QString accurate = OCR::text(frame);
    const QString fast = OCR::text(frame, true);
    // Reads that all came back empty would agree too.
    for (const QString& text : {accurate, fast})
        EXPECT_GE(OCR::similarity(text, TextImages::threeLines().join('\n')), 0.85) << text.toStdString();
    std::vector<std::future<QString>> runs;
    for (int i = 0; i < 4; ++i) {
        const bool isFast = i % 2;
        runs.push_back(std::async(std::launch::async, [frame, isFast] {
            QString last;
            for (int k = 0; k < 3; ++k) // the second and third read reuse the thread's engine
                last = OCR::text(frame, isFast);
            return last;
        }));
    }
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(runs[i].get(), i % 2 ? fast : accurate);
}

INSTANTIATE_TEST_SUITE_P(Modes, OCRRecognition, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Fast" : "Accurate"; });
