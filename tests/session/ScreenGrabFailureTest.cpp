// Grabs that fail with something other than a capture error: this program's own
// ScreenCapture stands in for the platform's and throws whatever the test asks.
#include "core/Log.h"
#include "core/Paths.h"
#include "platform/ScreenCapture.h"
#include "session/PinCapture.h"
#include "session/ScreenGrab.h"
#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <gtest/gtest.h>
#include <new>
#include <stdexcept>

namespace ScreenCapture {

std::vector<CaptureDisplay> displays()
{
    throw std::bad_alloc();
}
CaptureDisplay primaryDisplay()
{
    throw std::bad_alloc();
}
QImage grabPrimary()
{
    throw std::runtime_error("shared memory is gone");
}
void probe() {}
void exclude(unsigned long) {}

} // namespace ScreenCapture

TEST(ScreenGrabFailure, AnyExceptionIsLoggedAndAnswersWithNothing)
{
    TempSupport support;
    std::optional<std::optional<QByteArray>> grab, region;
    ScreenGrab::mainDisplay([&](std::optional<QByteArray> jpeg) { grab = std::move(jpeg); });
    PinCapture::selectRegion([&](std::optional<QByteArray> jpeg) { region = std::move(jpeg); });
    const QDeadlineTimer deadline(20'000);
    while (!(grab && region) && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    ASSERT_TRUE(grab && region);
    EXPECT_FALSE(*grab);
    EXPECT_FALSE(*region);
    slogFlush();
    const QByteArray log = readFile(Paths::logFile());
    EXPECT_TRUE(log.contains("screencapture: shared memory is gone\n")) << log.toStdString();
    EXPECT_TRUE(log.contains("screencapture: std::bad_alloc\n")) << log.toStdString();
}
