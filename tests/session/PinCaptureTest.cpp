// The region picker, the note dialog and the screen grab on the private desktop.
#include "core/Log.h"
#include "core/Paths.h"
#include "platform/DesktopHelpers.h"
#include "platform/ScreenCapture.h"
#include "session/PinCapture.h"
#include "session/RegionPicker.h"
#include "session/ScreenGrab.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QBuffer>
#include <QKeyEvent>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QScopeGuard>
#include <QThread>
#include <QTimer>
#include <QWindow>
#include <gtest/gtest.h>

namespace {

// A full-screen window whose colour tells where a pixel was: red grows to the
// right, green downwards.
class Backdrop : public QWidget {
public:
    Backdrop()
        : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint)
    {
    }
    static QColor at(QPoint p) { return QColor(p.x() * 255 / 1919, p.y() * 255 / 1079, 60); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QImage image(size(), QImage::Format_RGB32);
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                image.setPixel(x, y, at({x, y}).rgb());
        QPainter(this).drawImage(0, 0, image);
    }
};

bool near(QRgb pixel, const QColor& colour, int tolerance)
{
    return std::abs(qRed(pixel) - colour.red()) <= tolerance && std::abs(qGreen(pixel) - colour.green()) <= tolerance
        && std::abs(qBlue(pixel) - colour.blue()) <= tolerance;
}

QRgb screenPixel(QPoint p)
{
    return ScreenCapture::grabPrimary().pixel(p);
}

RegionPicker* picker()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == RegionPicker::objectNameForTests && w->isVisible())
            return static_cast<RegionPicker*>(w);
    return nullptr;
}

bool xdotool(const QString& commands)
{
    return run("xdotool", commands.split(' '));
}

class RegionCapture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(ScreenCapture::primaryDisplay().geometry, QRect(0, 0, 1920, 1080));
        backdrop.setGeometry(0, 0, 1920, 1080);
        backdrop.showFullScreen();
        ASSERT_TRUE(waitFor(
            [] {
                return near(screenPixel({1000, 500}), Backdrop::at({1000, 500}), 2);
            },
            20))
            << "the backdrop is on screen";
    }

    // Starts a selection and waits until the dimmed overlay covers the screen.
    void open()
    {
        result.reset();
        PinCapture::selectRegion([this](std::optional<QByteArray> jpeg) {
            EXPECT_EQ(QThread::currentThread(), qApp->thread());
            result = std::move(jpeg);
        });
        ASSERT_TRUE(waitFor(
            [] {
                return picker() && qRed(screenPixel({1000, 500})) < Backdrop::at({1000, 500}).red() - 20;
            },
            20))
            << "the overlay is on screen";
        // The picker grabs keyboard and pointer when it first paints.
        QCoreApplication::processEvents();
    }

    // Drives the pointer and decodes what the selection gave.
    QImage select(const QString& commands)
    {
        QImage image;
        EXPECT_TRUE(xdotool(commands));
        EXPECT_TRUE(waitFor([this] { return result.has_value(); }, 20));
        if (result && *result) {
            EXPECT_TRUE(image.loadFromData(**result, "JPEG"));
        }
        return image;
    }

    Backdrop backdrop;
    std::optional<std::optional<QByteArray>> result; // outer: the completion ran
};

} // namespace

TEST_F(RegionCapture, DragGivesTheRegionAsJpeg)
{
    open();
    const QImage image = select("mousemove 300 200 mousedown 1 mousemove 450 320 mousemove 700 500 mouseup 1");
    ASSERT_EQ(image.size(), QSize(400, 300));
    for (const QPoint p : {QPoint(200, 150), QPoint(20, 20), QPoint(380, 280)})
        EXPECT_TRUE(near(image.pixel(p), Backdrop::at(p + QPoint(300, 200)), 12))
            << "pixel " << p.x() << "," << p.y() << " is the screen's, undimmed";
    EXPECT_TRUE(waitFor([] { return !picker(); }, 5)) << "the overlay is gone";
}

TEST_F(RegionCapture, WideRegionComesBackAtMost1800Wide)
{
    open();
    const QImage image = select("mousemove 0 0 mousedown 1 mousemove 1000 600 mousemove 1919 1079 mouseup 1");
    EXPECT_EQ(image.size(), QSize(1800, 1079 * 1800 / 1919));
}

TEST_F(RegionCapture, EscapeOrAClickGivesNothing)
{
    open();
    // A second request while the overlay is open gets nothing at once.
    std::optional<std::optional<QByteArray>> second;
    PinCapture::selectRegion([&second](std::optional<QByteArray> jpeg) { second = std::move(jpeg); });
    ASSERT_TRUE(waitFor([&second] { return second.has_value(); }, 10));
    EXPECT_FALSE(*second);
    EXPECT_FALSE(result);

    ASSERT_TRUE(xdotool("key Escape"));
    ASSERT_TRUE(waitFor([this] { return result.has_value(); }, 20));
    EXPECT_FALSE(*result);
    EXPECT_TRUE(waitFor([] { return !picker(); }, 30));

    open();
    ASSERT_TRUE(xdotool("mousemove 500 500 click 1"));
    ASSERT_TRUE(waitFor([this] { return result.has_value(); }, 20));
    EXPECT_FALSE(*result);
}

TEST(ScreenGrab, WholeDisplayOnTheMainThread)
{
    std::optional<std::optional<QByteArray>> result;
    bool returned = false;
    ScreenGrab::mainDisplay([&](std::optional<QByteArray> jpeg) {
        EXPECT_TRUE(returned) << "never before mainDisplay returns";
        EXPECT_EQ(QThread::currentThread(), qApp->thread());
        result = std::move(jpeg);
    });
    returned = true;
    ASSERT_TRUE(waitFor([&] { return result.has_value(); }, 20));
    ASSERT_TRUE(*result);
    QImage image;
    ASSERT_TRUE(image.loadFromData(**result, "JPEG"));
    EXPECT_EQ(image.size(), QSize(1800, 1012)) << "1920 × 1080 narrowed to 1800";
}

TEST(ScreenGrab, NoDisplayGivesNothingAndOneLogLine)
{
    TempSupport support;
    const QByteArray display = qgetenv("DISPLAY");
    qputenv("DISPLAY", ":9999");
    std::optional<std::optional<QByteArray>> grab, region;
    ScreenGrab::mainDisplay([&](std::optional<QByteArray> jpeg) { grab = std::move(jpeg); });
    PinCapture::selectRegion([&](std::optional<QByteArray> jpeg) { region = std::move(jpeg); });
    const bool done = waitFor([&] { return grab.has_value() && region.has_value(); }, 20);
    qputenv("DISPLAY", display);
    ASSERT_TRUE(done);
    EXPECT_FALSE(*grab);
    EXPECT_FALSE(*region);
    slogFlush();
    EXPECT_EQ(readFile(Paths::logFile()).count("screencapture: "), 2);
}

TEST(PinNote, DialogTextsButtonsAndResults)
{
    QImage picture(200, 100, QImage::Format_RGB32);
    picture.fill(Qt::red);
    QByteArray jpeg;
    {
        QBuffer buffer(&jpeg);
        buffer.open(QIODevice::WriteOnly);
        picture.save(&buffer, "JPEG");
    }
    struct Case {
        bool recording;
        QByteArray image;
        QString typed;
        const char* press; // "Pin", "Cancel" or "Escape"
        std::optional<QString> expected;
    };
    const Case cases[] = {
        {true, jpeg, "  the annual plan first \n", "Pin", QString("the annual plan first")},
        {false, jpeg, "   ", "Pin", QString("")},
        {false, "not an image", "", "Pin", QString("")},
        {true, jpeg, "kept?", "Cancel", std::nullopt},
        {false, jpeg, "kept?", "Escape", std::nullopt},
    };
    for (const Case& c : cases) {
        bool checked = false;
        QTimer poll;
        poll.setInterval(20);
        QObject::connect(&poll, &QTimer::timeout, [&] {
            auto* dialog = QApplication::activeModalWidget();
            if (!dialog || !dialog->isVisible())
                return;
            poll.stop();
            // A failed check below must not leave the modal dialog open.
            bool acted = false;
            const auto closeAnyway = qScopeGuard([&] {
                if (!acted)
                    dialog->close();
            });
            auto* message = dialog->findChild<QLabel*>("message");
            auto* informative = dialog->findChild<QLabel*>("informative");
            auto* note = dialog->findChild<QLineEdit*>("note");
            auto* buttons = dialog->findChild<QDialogButtonBox*>();
            ASSERT_TRUE(message && informative && note && buttons);
            EXPECT_EQ(message->text(), c.recording ? "Pin to this session" : "New pin");
            EXPECT_EQ(informative->text(),
                      c.recording ? "What should the team notice here?"
                                  : "What should the team notice here? The pin waits in the menu "
                                    "until you send your pins to the board.");
            EXPECT_EQ(note->placeholderText(), "e.g. their pricing page leads with the annual plan");
            EXPECT_EQ(note->size(), QSize(340, 24));
            EXPECT_EQ(dialog->focusWidget(), note);
            const auto list = buttons->buttons();
            ASSERT_EQ(list.size(), 2);
            QPushButton* pin = nullptr;
            QPushButton* cancel = nullptr;
            for (auto* b : list) {
                auto* push = qobject_cast<QPushButton*>(b);
                (b->text() == "Pin" ? pin : cancel) = push;
            }
            ASSERT_TRUE(pin && cancel);
            EXPECT_EQ(cancel->text(), "Cancel");
            EXPECT_TRUE(pin->isDefault());
            note->setText(c.typed);
            checked = true;
            acted = true;
            const QString press = c.press;
            if (press == "Pin")
                pin->click();
            else if (press == "Cancel")
                cancel->click();
            else
                QApplication::postEvent(dialog, new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
        });
        poll.start();
        EXPECT_EQ(PinCapture::askNote(c.image, c.recording), c.expected) << c.typed.toStdString();
        EXPECT_TRUE(checked);
    }
}
