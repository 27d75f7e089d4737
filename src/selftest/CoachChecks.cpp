#include "activity/CallApps.h"
#include "activity/CallDetector.h"
#include "activity/Coach.h"
#include "activity/Idle.h"
#include "core/ScreenAccess.h"
#include "platform/MicUsage.h"
#include "selftest/Report.h"
#include "selftest/SelfTest.h"
#include "selftest/Suites.h"
#include "selftest/ThrowAway.h"

#include <cmath>

namespace {

QString yesNo(const std::optional<bool>& b)
{
    return !b ? QStringLiteral("unknown") : *b ? QStringLiteral("true") : QStringLiteral("false");
}

} // namespace

namespace SelfTest {

void coachChecks()
{
    {
        auto store = ThrowAway::openSuite();
        if (!store) {
            check(false, QStringLiteral("break coach"),
                  QStringLiteral("the throw-away defaults suite cannot be opened"));
        } else {
            Coach coach(*store);
            const QDateTime n = QDateTime::currentDateTimeUtc();
            coach.activity(0, n, 50);
            const bool a = coach.activity(10, n.addSecs(2940), 50);
            const bool b = coach.activity(10, n.addSecs(3060), 50);
            coach.activity(400, n.addSecs(3120), 50);
            const bool e = coach.activity(0, n.addSecs(3180), 50);
            check(!a && b && !e, QStringLiteral("break nudge after 50 min of activity; a 5-min idle gap resets"));
        }
        ThrowAway::removeSuite();
    }

    const QString m1 = QStringLiteral("abc-defg-hij");
    const QString m2 = QStringLiteral("kmn-pqrs-tuv");
    const QString r1 = CallApps::recordingTitle(QStringLiteral("Google Meet"),
                                                QStringLiteral("Meet - ") + m1 + QStringLiteral(" - Google Chrome"));
    const bool titles = r1 == m1
        && CallApps::recordingTitle(QStringLiteral("Zoom"), QStringLiteral("Zoom Meeting"))
               .startsWith(QStringLiteral("Zoom call · "));
    check(titles, QStringLiteral("call titles from window titles"));
    const auto w1 = CallApps::webCall(QStringLiteral("Meet – ") + m2);
    check(w1 == QStringLiteral("Google Meet") && !CallApps::webCall(QStringLiteral("Inbox (3) - Gmail")),
          QStringLiteral("browser call detection by title"));

    // What this desktop looks like right now; informative only.
    MicUsage& mic = MicUsage::system();
    const auto device = mic.defaultInputDevice();
    const auto procs = mic.processesUsingInput();
    QString users = QStringLiteral("unsupported");
    if (procs) {
        QStringList ids;
        for (const auto& p : *procs)
            ids << p.bundleID;
        users = QString::number(procs->size()) + QStringLiteral(" using input ") + quotedList(ids);
    }
    report().info(QStringLiteral("default input device ") + (device ? QString::number(*device) : QStringLiteral("none"))
                  + QStringLiteral(", running somewhere: ") + yesNo(mic.inputRunningSomewhere())
                  + QStringLiteral(", process list: ") + users);
    const auto hit = CallDetector::identify();
    report().info(QStringLiteral("call app guess right now: ")
                  + (hit ? hit->app + QStringLiteral(" “") + hit->title.value_or(QString()) + QStringLiteral("”")
                         : QStringLiteral("none")));
    const double idle = Idle::seconds();
    // There is no microphone permission on this desktop: what counts is whether
    // there is an input at all.
    report().info(QStringLiteral("idle ") + QString::number(std::isfinite(idle) ? qint64(idle) : 0)
                  + QStringLiteral(" s, screen-capture permission: ")
                  + (ScreenAccess::works() ? QStringLiteral("true") : QStringLiteral("false"))
                  + QStringLiteral(", mic: ")
                  + (device ? QStringLiteral("input available") : QStringLiteral("no input")));
}

} // namespace SelfTest
