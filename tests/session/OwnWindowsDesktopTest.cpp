// A real recording on the private desktop while the user takes a pin and while
// another window of ours shows: none of them reaches the kept screenshots.
#include "../platform/DesktopHelpers.h"

#include "platform/OwnWindows.h"
#include "platform/ScreenCapture.h"
#include "session/PinCapture.h"
#include "session/Recorder.h"
#include "session/RegionPicker.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <gtest/gtest.h>

namespace {

// The green is far lighter than the magenta, so that showing it is a change of
// screen a recording keeps.
const QColor magenta(255, 0, 255), green(150, 255, 150);

bool near(QRgb pixel, const QColor& colour, int tolerance)
{
    return std::abs(qRed(pixel) - colour.red()) <= tolerance && std::abs(qGreen(pixel) - colour.green()) <= tolerance
        && std::abs(qBlue(pixel) - colour.blue()) <= tolerance;
}

bool black(QRgb pixel)
{
    return qRed(pixel) < 30 && qGreen(pixel) < 30 && qBlue(pixel) < 30;
}

// Pixels of `image` within `area` (every second one) that match.
int count(const QImage& image, const QRect& area, const std::function<bool(QRgb)>& match)
{
    int n = 0;
    const QRect r = area & image.rect();
    for (int y = r.top(); y <= r.bottom(); y += 2)
        for (int x = r.left(); x <= r.right(); x += 2)
            n += match(image.pixel(x, y)) ? 1 : 0;
    return n;
}

std::unique_ptr<QWidget> swatch(const QColor& colour, const QRect& geometry)
{
    auto w = std::make_unique<QWidget>();
    QPalette palette;
    palette.setColor(QPalette::Window, colour);
    w->setPalette(palette);
    w->setAutoFillBackground(true);
    w->setGeometry(geometry);
    return w;
}

bool screenShows(const QPoint& at, const QColor& colour)
{
    return waitFor([&] { return near(ScreenCapture::grabPrimary().pixel(at), colour, 3); }, 10);
}

// Runs the event loop until the recording is `seconds` further on.
void recordFor(Recorder& r, double seconds)
{
    const double until = r.elapsed() + seconds;
    waitFor([&] { return r.elapsed() >= until; }, seconds + 10);
}

bool pickerUp()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == RegionPicker::objectNameForTests && w->isVisible())
            return true;
    return false;
}

} // namespace

TEST(OwnWindowsDesktop, RecordingKeepsNoFrameOfThePinCaptureAndBlacksOutOurWindows)
{
    TempSupport support;
    ASSERT_EQ(ScreenCapture::primaryDisplay().geometry, QRect(0, 0, 1920, 1080));

    // Another program's window filling the screen: made before ours are watched.
    auto backdrop = swatch(magenta, QRect(0, 0, 1920, 1080));
    backdrop->setWindowFlag(Qt::FramelessWindowHint);
    backdrop->show();
    ASSERT_TRUE(screenShows({960, 540}, magenta));
    OwnWindows::install();
    ASSERT_TRUE(run("xdotool", {"mousemove", "200", "700"})); // out of the way of the checks below

    auto recorder = Recorder::create(Session::create(QStringLiteral("Own windows"), QStringLiteral("Screen")));
    recorder->start(false);
    recordFor(*recorder, 3);

    // The region picker dims the whole screen across several frames.
    std::optional<std::optional<QByteArray>> region;
    PinCapture::selectRegion([&region](std::optional<QByteArray> jpeg) { region = std::move(jpeg); });
    ASSERT_TRUE(waitFor([] { return pickerUp() && qRed(ScreenCapture::grabPrimary().pixel(960, 540)) < 220; }, 20))
        << "the dimmed picker is on screen";
    QCoreApplication::processEvents(); // it takes keyboard and pointer on its first paint
    recordFor(*recorder, 5);
    ASSERT_TRUE(
        run("xdotool",
            QStringLiteral("mousemove 100 100 mousedown 1 mousemove 300 250 mousemove 400 300 mouseup 1").split(u' ')));
    ASSERT_TRUE(waitFor([&region] { return region.has_value(); }, 20));
    ASSERT_TRUE(*region);

    // The note dialog stays up across several frames too. Once it closes, its pixels
    // stay on screen until the backdrop repaints, with no window there to black out.
    QRect dialogArea;
    QColor dialogColour;
    double answerAt = -1;
    QTimer poll;
    poll.setInterval(50);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* dialog = QApplication::activeModalWidget();
        if (!dialog || !dialog->isVisible() || !dialog->windowHandle() || !dialog->windowHandle()->isExposed())
            return;
        dialogArea |= dialog->frameGeometry();
        dialogColour = dialog->palette().color(QPalette::Window);
        if (answerAt < 0)
            answerAt = recorder->elapsed() + 5;
        if (recorder->elapsed() < answerAt)
            return;
        poll.stop();
        dialog->findChild<QLineEdit*>("note")->setText(QStringLiteral("pricing"));
        for (QAbstractButton* b : dialog->findChild<QDialogButtonBox*>()->buttons())
            if (b->text() == "Pin")
                b->click();
    });
    poll.start();
    EXPECT_EQ(PinCapture::askNote(**region, true), QStringLiteral("pricing"));
    recorder->addPin(**region, QStringLiteral("pricing"));
    ASSERT_FALSE(dialogArea.isEmpty());
    ASSERT_FALSE(dialogArea.contains(400, 300)) << "the pointer rests outside the dialog";

    // Any other window of ours is blacked out, its frame included.
    auto ours = swatch(green, QRect(650, 480, 1000, 500));
    ours->show();
    ASSERT_TRUE(screenShows(ours->geometry().center(), green));
    recordFor(*recorder, 5);

    const auto stopped = recorder->stop();
    const std::vector<ShotMeta>& shots = stopped->meta().shots;
    ASSERT_GE(shots.size(), 2u) << "the first screen and the one with our window";

    const double scale = 1440.0 / 1920.0;
    auto scaled = [scale](const QRect& r, int inset) {
        return QRect(QPoint(int(r.left() * scale), int(r.top() * scale)),
                     QPoint(int(r.right() * scale), int(r.bottom() * scale)))
            .adjusted(inset, inset, -inset, -inset);
    };
    const QPoint corners[] = {QPoint(1800, 60), QPoint(60, 1000), QPoint(1850, 400)};
    int blackedOut = 0;
    for (const ShotMeta& shot : shots) {
        QImage image;
        ASSERT_TRUE(image.load(stopped->path(shot.file), "JPEG")) << shot.file.toStdString();
        ASSERT_EQ(image.width(), 1440);
        // The screen outside our windows shows undimmed in every shot.
        for (const QPoint& p : corners)
            EXPECT_TRUE(near(image.pixel(p * scale), magenta, 40))
                << shot.file.toStdString() << " at " << p.x() << "," << p.y();
        for (const QRect& band : {QRect(0, 0, 1920, 60), QRect(0, 1000, 1920, 80)})
            EXPECT_EQ(count(image, scaled(band, 0), [](QRgb p) { return near(p, QColor(165, 0, 165), 35); }), 0)
                << "dimmed by the picker: " << shot.file.toStdString();
        EXPECT_EQ(count(image, image.rect(), [](QRgb p) { return near(p, green, 60); }), 0) << shot.file.toStdString();
        EXPECT_EQ(count(image, scaled(dialogArea, 0), [&](QRgb p) { return near(p, dialogColour, 25); }), 0)
            << "the dialog shows in " << shot.file.toStdString();
        if (black(image.pixel(ours->geometry().center() * scale)))
            ++blackedOut;
    }
    EXPECT_GE(blackedOut, 1) << "a shot was kept while our window showed, with the window blacked out";
}
