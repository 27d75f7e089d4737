#include "DesktopHelpers.h"
#include "platform/CaptureDevices.h"
#include "platform/CaptureError.h"
#include "platform/MediaClock.h"
#include "platform/ScreenCapture.h"
#include "platform/linux/XScreenStream.h"

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>
#include <QThread>
#include <QWidget>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>

namespace {

const QColor magenta(255, 0, 255), green(0, 200, 0), cyan(0, 255, 255);

bool near(QRgb pixel, const QColor& colour, int tolerance = 3)
{
    return std::abs(qRed(pixel) - colour.red()) <= tolerance && std::abs(qGreen(pixel) - colour.green()) <= tolerance
        && std::abs(qBlue(pixel) - colour.blue()) <= tolerance;
}

int count(const QImage& image, const QRect& area, const std::function<bool(QRgb)>& match)
{
    int n = 0;
    const QRect r = area & image.rect();
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            n += match(image.pixel(x, y)) ? 1 : 0;
    return n;
}

// A plain window of one colour at a given place.
std::unique_ptr<QWidget> swatch(const QColor& colour, const QRect& geometry, const QString& title)
{
    auto w = std::make_unique<QWidget>();
    w->setWindowTitle(title);
    QPalette palette;
    palette.setColor(QPalette::Window, colour);
    w->setPalette(palette);
    w->setAutoFillBackground(true);
    w->setGeometry(geometry);
    return w;
}

// Waits until the real screen shows `colour` at the point.
bool shows(const QPoint& at, const QColor& colour)
{
    return waitFor(
        [&] {
            const QImage screen = ScreenCapture::grabPrimary();
            return near(screen.pixel(at - ScreenCapture::primaryDisplay().geometry.topLeft()), colour);
        },
        10);
}

// Collects what a stream hands out, from its thread.
struct Sink {
    std::mutex mutex;
    std::vector<ScreenFrame> frames;
    int delivered = 0;
    QStringList errors;

    ScreenStream::Handlers handlers()
    {
        return {
            .frame =
                [this](ScreenFrame f) {
                    std::lock_guard lock(mutex);
                    frames.push_back(std::move(f));
                    ++delivered;
                },
            .error =
                [this](const QString& message) {
                    std::lock_guard lock(mutex);
                    errors << message;
                },
        };
    }
    int count()
    {
        std::lock_guard lock(mutex);
        return delivered;
    }
    int errorCount()
    {
        std::lock_guard lock(mutex);
        return int(errors.size());
    }
};

// The first frame of a stream of the primary display at full size. The interval is
// an hour, so a frame at all shows that the first one does not wait for it.
QImage firstFrame(bool cursor)
{
    const CaptureDisplay display = ScreenCapture::primaryDisplay();
    auto stream = CaptureDevices::system().screenStream(display,
                                                        StreamConfig{.size = display.geometry.size(),
                                                                     .minimumFrameInterval = 3600,
                                                                     .showsCursor = cursor});
    Sink sink;
    stream->start(sink.handlers());
    EXPECT_TRUE(waitFor([&] { return sink.count() > 0; }, 20)) << "the first frame must not wait for the interval";
    stream->stop();
    return sink.frames.empty() ? QImage() : sink.frames.front().image;
}

} // namespace

TEST(ScreenStream, FramesComeScaledAtMostEveryTwoSecondsAndShowTheScreen)
{
    const CaptureDisplay display = ScreenCapture::primaryDisplay();
    EXPECT_EQ(display.geometry, QGuiApplication::primaryScreen()->geometry());

    auto window = swatch(magenta, QRect(200, 150, 600, 400), "stream test");
    window->show();
    ASSERT_TRUE(shows(window->geometry().center(), magenta));

    const StreamConfig config{.size = StreamConfig::sizeFor(display.geometry.size())};
    ASSERT_EQ(config.minimumFrameInterval, 2.0);
    auto stream = CaptureDevices::system().screenStream(display, config);
    Sink sink;
    const double startedAt = MediaClock::now();
    stream->start(sink.handlers());
    ASSERT_TRUE(waitFor([&] { return sink.count() >= 3; }, 20));
    stream->stop();
    const int stopped = sink.count();
    QThread::msleep(300);
    EXPECT_EQ(sink.count(), stopped) << "no frame after stop()";
    EXPECT_EQ(sink.errorCount(), 0);

    const double scale = double(config.size.width()) / display.geometry.width();
    const QPoint centre = (window->geometry().center() - display.geometry.topLeft()) * scale;
    const std::vector<ScreenFrame>& frames = sink.frames;
    // Later frames no closer than the interval: the stream counts it from the stamp
    // each frame carries, so this holds on a loaded machine too (the margin only
    // covers rounding seconds to clock ticks). That the first comes at once, without
    // waiting an interval, firstFrame() shows with an interval of an hour.
    EXPECT_GE(frames[0].hostTime, startedAt);
    for (std::size_t i = 0; i < frames.size(); ++i) {
        const QImage& image = frames[i].image;
        EXPECT_EQ(image.size(), config.size) << i;
        EXPECT_EQ(image.format(), QImage::Format_RGB32) << i;
        EXPECT_EQ(qAlpha(image.pixel(5, 5)), 255) << i;
        EXPECT_TRUE(near(image.pixel(centre), magenta)) << i << " " << std::hex << image.pixel(centre);
        if (i > 0) {
            EXPECT_GE(frames[i].hostTime - frames[i - 1].hostTime, config.minimumFrameInterval - 1e-6) << i;
        }
    }
}

TEST(ScreenStream, MarkedWindowIsBlackedOutWithItsFrameButWindowsAboveItShow)
{
    auto hidden = swatch(magenta, QRect(100, 100, 500, 400), "private window");
    ScreenCapture::exclude(hidden->winId()); // marked before it is ever shown
    hidden->show();
    auto above = swatch(green, QRect(450, 350, 500, 400), "ordinary window");
    above->show();
    above->raise();
    above->activateWindow();

    const QPoint inHidden = hidden->geometry().topLeft() + QPoint(50, 50);
    ASSERT_TRUE(waitFor([&] { return hidden->geometry().contains(above->geometry().topLeft() + QPoint(20, 20)); }, 30));
    const QPoint inOverlap = above->geometry().topLeft() + QPoint(20, 20);
    ASSERT_TRUE(shows(inHidden, magenta));
    ASSERT_TRUE(shows(inOverlap, green)) << "the ordinary window must be on top";

    const QImage frame = firstFrame(false);
    ASSERT_FALSE(frame.isNull());
    const QPoint origin = ScreenCapture::primaryDisplay().geometry.topLeft();
    EXPECT_EQ(count(frame, frame.rect(), [](QRgb p) { return near(p, magenta, 40); }), 0);
    EXPECT_EQ(frame.pixel(inHidden - origin), qRgb(0, 0, 0));
    EXPECT_TRUE(near(frame.pixel(inOverlap - origin), green));
    EXPECT_TRUE(near(frame.pixel(above->geometry().center() - origin), green));
    // The window manager's title bar belongs to the window and goes with it.
    const QRect outer = hidden->frameGeometry();
    ASSERT_LT(outer.top(), hidden->geometry().top()) << "the window manager gives windows a title bar";
    EXPECT_EQ(frame.pixel(QPoint(outer.left() + 40, outer.top() + 3) - origin), qRgb(0, 0, 0));

    // Only streams hide it; a plain grab shows the screen as it is.
    EXPECT_TRUE(near(ScreenCapture::grabPrimary().pixel(inHidden - origin), magenta));
}

TEST(ScreenStream, PointerIsDrawnIntoFramesWhenAsked)
{
    auto pad = swatch(cyan, QRect(300, 300, 400, 300), "pointer pad");
    pad->setCursor(Qt::ArrowCursor);
    pad->show();
    ASSERT_TRUE(shows(pad->geometry().center(), cyan));
    const QPoint at = pad->geometry().center();
    QCursor::setPos(at);
    ASSERT_TRUE(waitFor([&] { return QCursor::pos() == at; }, 30));
    QThread::msleep(200); // let the server settle the pointer's image over the window

    const QPoint origin = ScreenCapture::primaryDisplay().geometry.topLeft();
    const QRect around(at - origin - QPoint(16, 16), QSize(48, 48));
    auto notCyan = [](QRgb p) { return !near(p, cyan); };
    EXPECT_GT(count(firstFrame(true), around, notCyan), 10);
    EXPECT_EQ(count(firstFrame(false), around, notCyan), 0);
    EXPECT_EQ(count(ScreenCapture::grabPrimary(), around, notCyan), 0);
}

TEST(ScreenStream, LostDisplayEndsTheStreamWithOneError)
{
    PrivateX x;
    ASSERT_TRUE(x.ok());
    XScreenStream stream({.name = "screen", .geometry = QRect(0, 0, 640, 480)},
                         {.size = QSize(640, 480), .minimumFrameInterval = 0.1}, x.display());
    Sink sink;
    stream.start(sink.handlers());
    ASSERT_TRUE(waitFor([&] { return sink.count() > 0; }, 10));
    x.kill();
    ASSERT_TRUE(waitFor([&] { return sink.errorCount() > 0; }, 10));
    const int atError = sink.count();
    QThread::msleep(400);
    EXPECT_EQ(sink.count(), atError) << "no frame after the error";
    EXPECT_EQ(sink.errorCount(), 1);
    EXPECT_EQ(sink.errors.value(0), "lost the connection to the X display");
    stream.stop();
}

TEST(ScreenStream, AnXErrorEndsTheStreamWithOneError)
{
    PrivateX x;
    ASSERT_TRUE(x.ok());
    // An output that reaches past the screen, as after the screen shrank under the stream.
    XScreenStream stream({.name = "screen", .geometry = QRect(0, 0, 800, 600)},
                         {.size = QSize(400, 300), .minimumFrameInterval = 0.05}, x.display());
    Sink sink;
    stream.start(sink.handlers());
    ASSERT_TRUE(waitFor([&] { return sink.errorCount() > 0; }, 10));
    QThread::msleep(200);
    stream.stop();
    EXPECT_EQ(sink.count(), 0);
    EXPECT_EQ(sink.errorCount(), 1);
    EXPECT_TRUE(sink.errors.value(0).startsWith("screen grab failed: X error BadMatch (8)"))
        << sink.errors.value(0).toStdString();
}

TEST(ScreenStream, GrabsWaitWhileTheQueueDepthOfFramesIsAlive)
{
    PrivateX x;
    ASSERT_TRUE(x.ok());
    XScreenStream stream({.name = "screen", .geometry = QRect(0, 0, 640, 480)},
                         {.size = QSize(320, 240), .minimumFrameInterval = 0.02, .queueDepth = 2}, x.display());
    Sink sink;
    stream.start(sink.handlers());
    ASSERT_TRUE(waitFor([&] { return sink.count() >= 2; }, 10));
    QThread::msleep(500); // 25 intervals: nothing may come while both frames are held
    EXPECT_EQ(sink.count(), 2);
    {
        std::lock_guard lock(sink.mutex);
        sink.frames.clear();
    }
    EXPECT_TRUE(waitFor([&] { return sink.count() >= 4; }, 10));
    stream.stop();
    EXPECT_EQ(sink.errorCount(), 0);
}

TEST(ScreenStream, FailuresToStartOrMarkAreClearErrors)
{
    XScreenStream nowhere({.name = "screen", .geometry = QRect(0, 0, 640, 480)}, {.size = QSize(640, 480)},
                          QStringLiteral(":987"));
    try {
        nowhere.start({});
        FAIL() << "started without a display";
    } catch (const CaptureError& e) {
        EXPECT_EQ(e.description(), "cannot open the X display \":987\"");
    }
    EXPECT_THROW(ScreenCapture::exclude(0x7ffffff), CaptureError); // no such window
}
