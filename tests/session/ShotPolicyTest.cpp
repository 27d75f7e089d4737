// The frame and automatic-pin policy by plain calls: no queue, no capture source.
#include "session/CapturePause.h"
#include "session/ShotPolicy.h"
#include "support/TestSupport.h"

#include <QColor>
#include <gtest/gtest.h>

namespace {

QImage shade(int grey)
{
    QImage img(320, 180, QImage::Format_RGB32);
    img.fill(QColor(grey, grey, grey));
    return img;
}

ShotPolicy::TextReader noText()
{
    return [](const QImage&, bool) { return OCR::Reading{}; };
}

LevelTrack loudAt(double at)
{
    LevelTrack t{0, std::vector<float>(size_t(400 / 0.25), 0.0f), 0.25};
    t.rms[size_t(at / 0.25)] = 0.05f;
    return t;
}

} // namespace

TEST(ShotPolicy, KeepsChangedFramesApartByTheGapAndNoneWhilePrivateOrCovered)
{
    FixedClock clock; // pauses are stamped with its uptime, 1000
    ShotPolicy policy(noText());
    const double host = 5000; // after the pause below
    ASSERT_TRUE(policy.consider(shade(100), 100, host, 0)) << "the first frame is kept";
    EXPECT_FALSE(policy.consider(shade(200), 101.7, host, 1)) << "closer than the gap";
    const auto strong = policy.consider(shade(200), 103.5, host, 1);
    ASSERT_TRUE(strong);
    EXPECT_TRUE(strong->strong);
    EXPECT_FALSE(strong->jpeg.isEmpty());
    EXPECT_FALSE(policy.consider(shade(201), 106, host, 2)) << "barely moved and no new text";
    const auto weak = policy.consider(shade(220), 108, host, 2);
    ASSERT_TRUE(weak);
    EXPECT_FALSE(weak->strong) << "20/255 is a change, not a strong one";

    EXPECT_FALSE(policy.consider(shade(0), 120, host, 181)) << "at most 181 shots";
    EXPECT_FALSE(policy.consider(QImage(), 130, host, 3));
    policy.setFrontPrivate(true);
    EXPECT_FALSE(policy.consider(shade(0), 140, host, 3));
    policy.setFrontPrivate(false);
    CapturePause::begin();
    EXPECT_FALSE(policy.consider(shade(0), 150, host, 3)) << "grabbed while our window covered the screen";
    CapturePause::end();
    EXPECT_TRUE(policy.consider(shade(0), 160, 1e9, 3));
}

TEST(ShotPolicy, ANewTitleAfterAStrongChangeArmsOnePinThatSpeechConfirms)
{
    ShotPolicy policy(noText());
    const QByteArray jpeg("jpeg");
    policy.noteTitle(130, QString("Opening remarks"), true, jpeg, true, 1000);
    EXPECT_FALSE(policy.armed()) << "the first title is only remembered";
    policy.noteTitle(140, QString("Budget table"), false, jpeg, true, 1010);
    EXPECT_FALSE(policy.armed()) << "not a strong change";
    policy.noteTitle(150, QString("Hiring plan"), true, jpeg, false, 1020);
    EXPECT_FALSE(policy.armed()) << "switched off";
    policy.noteTitle(160, QString("Quarterly results"), true, jpeg, true, 1030);
    ASSERT_TRUE(policy.armed());

    EXPECT_FALSE(policy.takeDue(1039.9)) << "ten seconds after arming";
    const auto pin = policy.takeDue(1040);
    ASSERT_TRUE(pin);
    EXPECT_FALSE(policy.armed());
    EXPECT_EQ(pin->t, 160);
    EXPECT_EQ(pin->note, ShotPolicy::autoPinPrefix + "Quarterly results");
    EXPECT_EQ(pin->jpeg, jpeg);

    const LevelTrack quiet{0, {}, 0.25};
    EXPECT_FALSE(policy.confirm(*pin, quiet, quiet)) << "nobody spoke";
    EXPECT_TRUE(policy.confirm(*pin, quiet, loudAt(165)));
    // The next pin needs two minutes of session time after the saved one.
    policy.noteTitle(200, QString("Opening remarks"), true, jpeg, true, 1100);
    EXPECT_FALSE(policy.armed());
    policy.noteTitle(280, QString("Closing words"), true, jpeg, true, 1200);
    ASSERT_TRUE(policy.armed());
    EXPECT_TRUE(policy.takeDue(std::nullopt)) << "a stop settles an armed pin at once";
}

TEST(ShotPolicy, TextIsKeptUnlessItNearlyRepeatsTheLast)
{
    ShotPolicy policy(noText());
    EXPECT_TRUE(policy.keepText("Quarterly results for the northern region"));
    EXPECT_FALSE(policy.keepText("Quarterly results for the northern region"));
    EXPECT_TRUE(policy.keepText("Hiring plan and open roles"));
}

TEST(ShotPolicySpeech, LooksTenSecondsEitherSideInQuarterSteps)
{
    auto track = [](double at, float level) {
        LevelTrack t{0, std::vector<float>(size_t(60 / 0.25), 0.0f), 0.25};
        t.rms[size_t(at / 0.25)] = level;
        return t;
    };
    const LevelTrack quiet{0, {}, 0.25};
    struct Case {
        double t, window;
        LevelTrack mic, tab;
        bool heard;
    };
    const Case cases[] = {
        {3, 10, quiet, track(13, 0.01f), true},
        {3, 10, quiet, track(13.25, 0.01f), false},
        {3, 10, quiet, track(0, 0.01f), true},
        {30, 10, quiet, track(19.75, 0.01f), false},
        {30, 10, quiet, track(20, 0.01f), true},
        {30, 10, quiet, track(25, 0.006f), false}, // at the threshold is not above it
        {30, 10, track(25, 0.019f), quiet, true},
        {30, 10, track(25, 0.018f), quiet, false},
        {-20, 10, quiet, track(0, 1), false},
        {5, -1, quiet, track(5, 1), false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ShotPolicy::speech(c.t, c.mic, c.tab, c.window), c.heard) << c.t;
    EXPECT_TRUE(ShotPolicy::isTitleChange("Hiring plan", "Quarterly results"));
    EXPECT_FALSE(ShotPolicy::isTitleChange("Hiring plan 2025", "Hiring plan"));
}
