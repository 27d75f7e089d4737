// The kit's views rendered offscreen through Snapshot::png, then probed: image
// size, colours at computed points, texts and geometry. Set ZELVAN_SNAPSHOT_DIR
// to keep the images for a look.
#include "core/Log.h"
#include "core/Paths.h"
#include "ui/Kbd.h"
#include "ui/Orb.h"
#include "ui/Pal.h"
#include "ui/Snapshot.h"
#include "ui/Symbols.h"
#include "ui/Wordmark.h"
#include "ui/ZVButton.h"
#include "ui/ZVCard.h"
#include "ui/ZVChip.h"
#include "ui/ZVFont.h"
#include "ui/ZVRow.h"
#include "ui/ZVSection.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEnterEvent>
#include <QFontInfo>
#include <QHBoxLayout>
#include <QVBoxLayout>
#include <QImage>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <functional>

// Before main: the views are drawn by Qt's offscreen platform, not the X server.
static const bool offscreen = [] {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    return true;
}();

namespace {

const QColor darkBackdrop(0x2A, 0x2D, 0x33);
const QColor lightBackdrop(0xD9, 0xDC, 0xE1);

QString snapshotDir()
{
    static QTemporaryDir temp;
    const QString kept = qEnvironmentVariable("ZELVAN_SNAPSHOT_DIR");
    if (!kept.isEmpty()) {
        QDir().mkpath(kept);
        return kept;
    }
    return temp.path();
}

// Renders `view` and reads the PNG back.
QImage shoot(QWidget& view, bool dark, const QString& name, qreal padding = 24)
{
    const QString path = snapshotDir() + "/" + name + (dark ? "-dark" : "-light") + ".png";
    EXPECT_TRUE(Snapshot::png(view, dark, path, padding)) << path.toStdString();
    QImage image(path);
    EXPECT_FALSE(image.isNull()) << path.toStdString();
    return image.convertToFormat(QImage::Format_ARGB32);
}

// The pixel at a point given in points of the view (padding 24 added).
QColor at(const QImage& image, qreal x, qreal y)
{
    return image.pixelColor(int((24 + x) * 2), int((24 + y) * 2));
}

bool close(const QColor& a, const QColor& b, int tolerance = 3)
{
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance
        && std::abs(a.blue() - b.blue()) <= tolerance;
}

std::string describe(const QColor& c)
{
    return c.name(QColor::HexArgb).toStdString();
}

#define EXPECT_COLOUR(actual, expected)                                                                                \
    EXPECT_TRUE(close((actual), (expected))) << describe(actual) << " is not " << describe(expected)

// `top` (with its alpha) over an opaque `below`.
QColor over(const QColor& top, const QColor& below)
{
    const float a = top.alphaF();
    return QColor::fromRgbF(top.redF() * a + below.redF() * (1 - a), top.greenF() * a + below.greenF() * (1 - a),
                            top.blueF() * a + below.blueF() * (1 - a));
}

// Whether some pixel of `area` (in view points) has this colour: fully covered
// glyph stems show a text's colour exactly.
bool shows(const QImage& image, const QRectF& area, const QColor& colour, int tolerance = 3)
{
    for (int y = int((24 + area.top()) * 2); y < int((24 + area.bottom()) * 2); ++y) {
        for (int x = int((24 + area.left()) * 2); x < int((24 + area.right()) * 2); ++x) {
            if (x >= 0 && y >= 0 && x < image.width() && y < image.height()
                && close(image.pixelColor(x, y), colour, tolerance))
                return true;
        }
    }
    return false;
}

// The pixel of `area` (view points) that differs most from `backdrop`.
QColor strongest(const QImage& image, const QRectF& area, const QColor& backdrop)
{
    QColor best = backdrop;
    int bestDistance = -1;
    for (int y = int((24 + area.top()) * 2); y < int((24 + area.bottom()) * 2); ++y) {
        for (int x = int((24 + area.left()) * 2); x < int((24 + area.right()) * 2); ++x) {
            const QColor c = image.pixelColor(x, y);
            const int distance = std::abs(c.red() - backdrop.red()) + std::abs(c.green() - backdrop.green())
                + std::abs(c.blue() - backdrop.blue());
            if (distance > bestDistance) {
                bestDistance = distance;
                best = c;
            }
        }
    }
    return best;
}

QSize expectedImageSize(const QWidget& view)
{
    return (view.sizeHint() + QSize(48, 48)) * 2;
}

bool waitFor(const std::function<bool()>& done)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > 10000)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

void click(QWidget& w, QPointF where)
{
    QMouseEvent press(QEvent::MouseButtonPress, where, w.mapToGlobal(where), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(&w, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, where, w.mapToGlobal(where), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(&w, &release);
}

// Sets an environment variable for one test and restores it afterwards.
class EnvGuard {
public:
    EnvGuard(const char* name, const char* value)
        : name_(name)
        , had_(qEnvironmentVariableIsSet(name))
        , old_(qgetenv(name))
    {
        qputenv(name, value);
    }
    ~EnvGuard()
    {
        if (had_)
            qputenv(name_, old_);
        else
            qunsetenv(name_);
    }

private:
    const char* name_;
    bool had_;
    QByteArray old_;
};

// A stand-in content of a fixed size that draws nothing.
QWidget* block(int w, int h)
{
    auto* b = new QWidget;
    b->setFixedSize(w, h);
    return b;
}

} // namespace

TEST(Fonts, FamiliesAndWeightsAreTheKits)
{
    const QFontInfo sans(ZVFont::sans(10));
    EXPECT_EQ(sans.family(), "Inter");
    EXPECT_EQ(sans.weight(), QFont::Normal);
    const QFontInfo mono(ZVFont::mono(10));
    EXPECT_EQ(mono.family(), "JetBrains Mono");
    EXPECT_EQ(mono.weight(), QFont::Medium);
    EXPECT_EQ(QFontInfo(ZVFont::sans(20, QFont::ExtraBold)).weight(), QFont::ExtraBold);
    EXPECT_EQ(QFontInfo(ZVFont::mono(10.5, QFont::DemiBold)).weight(), QFont::DemiBold);
    // One point to one logical pixel, fractions kept.
    EXPECT_EQ(QFontInfo(ZVFont::sans(20)).pixelSize(), 20);
    EXPECT_EQ(QFontInfo(ZVFont::mono(9)).pixelSize(), 9);
    EXPECT_EQ(QFontInfo(Symbols::font(12)).family(), "Material Icons");
}

TEST(Snapshot, ImageIsTheIdealSizePlusPaddingAtTwoPixelsPerPoint)
{
    std::unique_ptr<QWidget> view(block(100, 40));
    const QImage dark = shoot(*view, true, "block");
    EXPECT_EQ(dark.size(), QSize(296, 176));
    EXPECT_COLOUR(dark.pixelColor(1, 1), darkBackdrop);
    EXPECT_COLOUR(dark.pixelColor(295, 175), darkBackdrop);
    const QImage light = shoot(*view, false, "block");
    EXPECT_COLOUR(light.pixelColor(1, 1), lightBackdrop);
    EXPECT_EQ(shoot(*view, true, "block-unpadded", 0).size(), QSize(200, 80));
}

TEST(Snapshot, FailureIsReportedAndTheViewIsHandedBack)
{
    QWidget parent;
    QWidget* view = block(50, 20);
    view->setParent(&parent);
    view->setGeometry(7, 9, 50, 20);
    const QString path = snapshotDir() + "/missing-folder/view.png";
    EXPECT_FALSE(Snapshot::png(*view, true, path));
    EXPECT_FALSE(QFile::exists(path));
    slogFlush();
    QFile log(Paths::logFile());
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    EXPECT_TRUE(log.readAll().contains("snapshot: " + QFile::encodeName(path) + " not written: "));
    EXPECT_EQ(view->parentWidget(), &parent);
    EXPECT_EQ(view->geometry(), QRect(7, 9, 50, 20));
    EXPECT_FALSE(view->isHidden());
}

TEST(Section, TitleInCapitalsAfterTheDoubleSlash)
{
    ZVSection today("Today");
    EXPECT_EQ(today.shownTitle(), "TODAY");
    EXPECT_FALSE(today.trailing());
    ZVSection upNext("Up next", QStringLiteral("3 open · synced"));
    EXPECT_EQ(upNext.shownTitle(), "UP NEXT");
    EXPECT_EQ(*upNext.trailing(), "3 open · synced"); // its own case
    EXPECT_GT(upNext.sizeHint().width(), today.sizeHint().width());

    for (bool dark : {true, false}) {
        const Pal& p = Pal::of(dark ? ColorScheme::dark : ColorScheme::light);
        const QImage image = shoot(upNext, dark, "section");
        EXPECT_EQ(image.size(), expectedImageSize(upNext));
        const qreal h = upNext.sizeHint().height();
        EXPECT_TRUE(shows(image, {0, 0, 12, h}, p.ac)) << "the slashes";
        EXPECT_TRUE(shows(image, {20, 0, 40, h}, p.tx)) << "the title";
        EXPECT_TRUE(shows(image, {80, 0, 120, h}, p.tx3)) << "the trailing text";
    }
}

TEST(Chip, BracketedCapitalsInTheTonesColour)
{
    const std::pair<ZVChip::Tone, QColor Pal::*> tones[] = {
        {ZVChip::Tone::plain, &Pal::tx3},   {ZVChip::Tone::accent, &Pal::ac},     {ZVChip::Tone::red, &Pal::red},
        {ZVChip::Tone::amber, &Pal::amber}, {ZVChip::Tone::silver, &Pal::silver},
    };
    for (const auto& [tone, field] : tones) {
        ZVChip chip("Call", tone);
        EXPECT_EQ(chip.shownText(), "[ CALL ]");
        for (bool dark : {true, false}) {
            const Pal& p = Pal::of(dark ? ColorScheme::dark : ColorScheme::light);
            const QImage image = shoot(chip, dark, QStringLiteral("chip-%1").arg(int(tone)));
            EXPECT_EQ(image.size(), expectedImageSize(chip));
            EXPECT_TRUE(shows(image, QRectF(QPointF(), chip.sizeHint()), p.*field)) << int(tone) << " dark " << dark;
        }
    }
    EXPECT_EQ(ZVChip("").shownText(), "[  ]");

    // A long text is never cut: the chip keeps its full width in a narrow row.
    QWidget row;
    auto* layout = new QHBoxLayout(&row);
    auto* chip = new ZVChip("Waiting for the workspace to answer");
    layout->addWidget(chip);
    row.resize(40, 30);
    layout->activate();
    EXPECT_GT(chip->sizeHint().width(), ZVChip("Call").sizeHint().width() * 4);
    EXPECT_EQ(chip->width(), chip->sizeHint().width());
}

TEST(Kbd, KeyCapShowsTheDesktopsKeyNames)
{
    Kbd kbd("⌥⌘P");
    EXPECT_EQ(kbd.shownText(), "Ctrl+Alt+P");
    for (bool dark : {true, false}) {
        const Pal& p = Pal::of(dark ? ColorScheme::dark : ColorScheme::light);
        const QImage image = shoot(kbd, dark, "kbd");
        EXPECT_EQ(image.size(), expectedImageSize(kbd));
        const QSize s = kbd.sizeHint();
        EXPECT_COLOUR(at(image, 2.5, s.height() / 2.0), p.bg3); // the well, in the padding
        EXPECT_TRUE(shows(image, QRectF(QPointF(), s), p.tx3));
        // The outline: ln2 over the well, at the very edge.
        EXPECT_COLOUR(image.pixelColor(48, 48 + s.height()), over(p.ln2, p.bg3));
    }
    EXPECT_GT(Kbd("Ctrl+Alt+Shift+Space").sizeHint().width(), Kbd("⌘Q").sizeHint().width());
}

TEST(Wordmark, SlashInTheAccentBetweenTheLetters)
{
    Wordmark big(30);
    EXPECT_DOUBLE_EQ(big.tracking(), 1.2);
    EXPECT_DOUBLE_EQ(Wordmark().tracking(), 0.6);
    EXPECT_EQ(big.shownText(), "ZEL/VAN");
    for (bool dark : {true, false}) {
        const Pal& p = Pal::of(dark ? ColorScheme::dark : ColorScheme::light);
        const QImage image = shoot(big, dark, "wordmark");
        EXPECT_EQ(image.size(), expectedImageSize(big));
        const QColor slash = dark ? QColor(0xC6, 0xFF, 0x3D) : QColor(0x4A, 0x8A, 0x00);
        const QSize s = big.sizeHint();
        EXPECT_TRUE(shows(image, QRectF(s.width() * 0.4, 0, s.width() * 0.2, s.height()), slash));
        EXPECT_TRUE(shows(image, QRectF(0, 0, s.width() * 0.3, s.height()), p.tx));
    }
}

TEST(Card, FillOutlineGlowAndShadow)
{
    // 300 × 220: its far corner lies beyond the 260-point reach of the glow.
    ZVCard plain(block(300, 220));
    ZVCard glow(block(300, 220), 14, true);
    ZVCard square(block(300, 220), 0);
    const Pal& dark = Pal::darkPal();
    const Pal& light = Pal::lightPal();

    const QImage plainDark = shoot(plain, true, "card");
    EXPECT_EQ(plainDark.size(), QSize(696, 536));
    EXPECT_COLOUR(at(plainDark, 290, 210), dark.bg);
    EXPECT_COLOUR(at(plainDark, 150, 0.2), over(dark.ln2, at(plainDark, 150, 3))); // the outline's inner half
    // The corner outside the rounding shows the backdrop; a square card fills it.
    EXPECT_COLOUR(at(plainDark, 0.5, 0.5), darkBackdrop);
    EXPECT_COLOUR(at(shoot(square, true, "card-square"), 290, 210), dark.bg);
    EXPECT_FALSE(close(at(shoot(square, true, "card-square"), 0.5, 0.5), darkBackdrop));
    // The shadow falls below the card onto the backdrop.
    const QColor below = at(plainDark, 150, 224);
    EXPECT_LT(below.lightness(), darkBackdrop.lightness() - 3);

    const QImage glowDark = shoot(glow, true, "card-glow");
    // The accent glow from the top-left corner is stronger than the plain card's.
    const QColor nearCorner = at(glowDark, 20, 20);
    EXPECT_GT(nearCorner.green(), at(plainDark, 20, 20).green());
    EXPECT_GT(at(plainDark, 20, 20).green(), dark.bg.green());
    QColor edge = dark.ac;
    edge.setAlphaF(0.35f);
    EXPECT_TRUE(close(at(glowDark, 150, 0.2), over(edge, at(glowDark, 150, 3)), 6));

    // Light: a flat fill even with the glow on; the glow only colours the outline.
    const QImage glowLight = shoot(glow, false, "card-glow");
    EXPECT_COLOUR(at(glowLight, 20, 20), light.bg);
    EXPECT_COLOUR(at(glowLight, 290, 210), light.bg);
    QColor lightEdge = light.ac;
    lightEdge.setAlphaF(0.35f);
    EXPECT_COLOUR(at(glowLight, 150, 0.2), over(lightEdge, light.bg));
    EXPECT_COLOUR(at(shoot(plain, false, "card"), 150, 0.2), over(light.ln2, light.bg));
}

TEST(Button, KindsFillsInksAndOutlines)
{
    struct Case {
        ZVButton::Kind kind;
        bool dark;
        QColor fill;    // expected in the padding, over the backdrop
        QColor outline; // expected at the edge
    };
    const Pal& d = Pal::darkPal();
    const Pal& l = Pal::lightPal();
    QColor lightPrimaryEdge = l.ac;
    lightPrimaryEdge.setAlphaF(0.5f);
    const Case cases[] = {
        {ZVButton::Kind::primary, true, d.acFill, d.acFill}, // no visible outline on dark
        {ZVButton::Kind::primary, false, l.acFill, over(lightPrimaryEdge, l.acFill)},
        {ZVButton::Kind::ghost, true, d.bg3, over(d.ln2, d.bg3)},
        {ZVButton::Kind::ghost, false, l.bg3, over(l.ln2, l.bg3)},
        {ZVButton::Kind::quiet, true, darkBackdrop, darkBackdrop},
        {ZVButton::Kind::quiet, false, lightBackdrop, lightBackdrop},
        {ZVButton::Kind::danger, true, d.red, d.red},
        {ZVButton::Kind::danger, false, l.red, l.red},
    };
    for (const Case& c : cases) {
        ZVButton button("Wrap up", {.kind = c.kind});
        const QImage image = shoot(button, c.dark, QStringLiteral("button-%1").arg(int(c.kind)));
        SCOPED_TRACE(testing::Message() << "kind " << int(c.kind) << " dark " << c.dark);
        EXPECT_EQ(image.size(), expectedImageSize(button));
        const qreal mid = button.sizeHint().height() / 2.0;
        EXPECT_COLOUR(at(image, 5, mid), c.fill);
        EXPECT_COLOUR(image.pixelColor(48, int(48 + mid * 2)), c.outline);
        Scheme::force(&button, c.dark ? ColorScheme::dark : ColorScheme::light);
        EXPECT_TRUE(shows(image, QRectF(QPointF(12, 0), button.sizeHint() - QSize(24, 0)), button.foreground()));
    }
    // Selected: a 1.5-point accent outline, even on a primary button.
    ZVButton selected("Kick in", {.kind = ZVButton::Kind::primary, .selected = true});
    const QImage image = shoot(selected, true, "button-selected");
    EXPECT_COLOUR(image.pixelColor(48, 48 + selected.sizeHint().height()), d.ac);
    EXPECT_COLOUR(image.pixelColor(49, 48 + selected.sizeHint().height()), d.ac);
}

TEST(Button, SizesFollowTheLabelHeightAndWidthRules)
{
    ZVButton shortOne("Pin");
    ZVButton longOne("Pin this region to the session");
    EXPECT_EQ(shortOne.sizeHint().height(), 28);
    EXPECT_GT(longOne.sizeHint().width(), shortOne.sizeHint().width() * 3);
    EXPECT_EQ(ZVButton("Open board", {.height = 40}).sizeHint().height(), 40);

    // Not full: never shortened. Full: the offered width, long label or not.
    QWidget row;
    auto* layout = new QHBoxLayout(&row);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* fixed = new ZVButton("Pin this region to the session");
    layout->addWidget(fixed);
    row.resize(60, 40);
    layout->activate();
    EXPECT_EQ(fixed->width(), fixed->sizeHint().width());

    QWidget wide;
    auto* wideLayout = new QHBoxLayout(&wide);
    wideLayout->setContentsMargins(0, 0, 0, 0);
    auto* full = new ZVButton("Open board", {.full = true});
    auto* fullLong = new ZVButton("Pin this region to the session and keep going", {.full = true});
    wideLayout->addWidget(full);
    wide.resize(300, 40);
    wideLayout->activate();
    EXPECT_EQ(full->width(), 300);
    wideLayout->removeWidget(full);
    wideLayout->addWidget(fullLong);
    wide.resize(120, 40);
    wideLayout->activate();
    EXPECT_EQ(fullLong->width(), 120);
    EXPECT_EQ(fullLong->height(), 28);
}

TEST(Button, ClickInThePaddingOfAQuietButtonRunsItsAction)
{
    ZVButton button("Hide", {.kind = ZVButton::Kind::quiet});
    button.resize(button.sizeHint());
    button.show();
    int clicks = 0;
    QObject::connect(&button, &QAbstractButton::clicked, [&] { ++clicks; });
    click(button, QPointF(2, 2)); // the corner: no text there, nothing drawn
    click(button, QPointF(button.width() - 2, button.height() - 2));
    EXPECT_EQ(clicks, 2);
    click(button, QPointF(button.width() + 3, 2));
    EXPECT_EQ(clicks, 2);
}

TEST(Button, PressedDarkensAndShrinksUnlessMotionIsReduced)
{
    const Pal& d = Pal::darkPal();
    const QColor pressed = QColor::fromRgbF(d.acFill.redF() - 0.06f, d.acFill.greenF() - 0.06f,
                                            d.acFill.blueF() - 0.06f);
    for (bool reduced : {false, true}) {
        EnvGuard motion("ZELVAN_REDUCE_MOTION", reduced ? "1" : "0");
        ZVButton button("Kick in", {.kind = ZVButton::Kind::primary});
        const qreal mid = button.sizeHint().height() / 2.0;
        shoot(button, true, "button-pressed");
        button.setDown(true);
        QImage image;
        EXPECT_TRUE(waitFor([&] {
            image = shoot(button, true, reduced ? "button-pressed-reduced" : "button-pressed");
            return close(at(image, button.sizeHint().width() / 2.0, 2), pressed);
        })) << "reduced "
            << reduced;
        // The left edge: still filled when the size is kept, backdrop when shrunk.
        const QColor edge = image.pixelColor(48, int(48 + mid * 2));
        if (reduced)
            EXPECT_COLOUR(edge, pressed);
        else
            EXPECT_COLOUR(edge, darkBackdrop);
    }
}

TEST(Row, HighlightFollowsSelectionHoverAndAction)
{
    const Pal& d = Pal::darkPal();
    int runs = 0;
    ZVRow row({.symbol = QStringLiteral("clock"), .title = "Standup notes", .detail = QStringLiteral("09:30 · 12 min")},
              [&] { ++runs; });
    row.resize(260, row.sizeHint().height());
    row.show();
    Scheme::force(&row, ColorScheme::dark);
    EXPECT_TRUE(row.isEnabled());
    click(row, QPointF(250, 3)); // the spacer's area takes clicks too
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(row.highlight().alpha(), 0);
    EXPECT_EQ(row.symbolColour(), d.tx3);

    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), row.mapToGlobal(QPointF(5, 5)));
    QApplication::sendEvent(&row, &enter);
    EXPECT_TRUE(waitFor([&] { return row.highlight() == d.bg2 && row.symbolColour() == d.ac; }));

    // Without an action: disabled, never filled on hover, though the symbol still lights up.
    row.setAction(nullptr);
    EXPECT_FALSE(row.isEnabled());
    click(row, QPointF(20, 10));
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(row.highlight().alpha(), 0);
    EXPECT_EQ(row.symbolColour(), d.ac);

    // Selected: bg3 and the outline, hover or not.
    row.setContent({.symbol = QStringLiteral("clock"), .title = "Standup notes", .selected = true});
    EXPECT_EQ(row.highlight(), d.bg3);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&row, &leave);
    EXPECT_EQ(row.highlight(), d.bg3);
    EXPECT_EQ(row.symbolColour(), d.ac);

    // dim changes the title only.
    row.setContent({.title = "Later", .detail = QStringLiteral("someday"), .dim = true});
    EXPECT_EQ(row.titleColour(), d.tx3);
}

TEST(Row, SnapshotsLayoutAndCutTexts)
{
    for (bool dark : {true, false}) {
        const Pal& p = Pal::of(dark ? ColorScheme::dark : ColorScheme::light);
        ZVRow selected(
            {.symbol = QStringLiteral("square.grid.2x2"),
             .title = "Zelvan",
             .detail = QStringLiteral("owner"),
             .selected = true},
            [] {}, new Kbd("⌘O"));
        const QImage image = shoot(selected, dark, "row-selected");
        EXPECT_EQ(image.size(), expectedImageSize(selected));
        const qreal h = selected.sizeHint().height();
        EXPECT_COLOUR(at(image, 4, h / 2), p.bg3);
        EXPECT_COLOUR(at(image, selected.sizeHint().width() / 2.0, 0.2),
                      over(
                          [&] {
                              QColor c = p.ac;
                              c.setAlphaF(0.45f);
                              return c;
                          }(),
                          p.bg3));
        EXPECT_TRUE(shows(image, {10, 0, 16, h}, p.ac)) << "the symbol";
        EXPECT_TRUE(shows(image, {36, 0, 30, h}, p.tx)) << "the title";

        // No symbol: the title starts at the padding, no empty column.
        ZVRow plain({.title = "New project…"}, [] {});
        const QImage plainImage = shoot(plain, dark, "row-plain");
        EXPECT_TRUE(shows(plainImage, {10, 0, 5, qreal(plain.sizeHint().height())}, p.tx));
    }

    // A long title is cut on one line; the trailing view keeps its place and
    // at least 6 points of clear space before it.
    QWidget box;
    auto* layout = new QHBoxLayout(&box);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* kbd = new Kbd("⌘O");
    auto* row = new ZVRow(
        {.title = "A very long project name that cannot fit in the menu at all"}, [] {}, kbd);
    layout->addWidget(row);
    box.setFixedWidth(220);
    const QImage image = shoot(box, true, "row-long");
    ASSERT_EQ(row->width(), 220);
    EXPECT_EQ(row->height(), row->sizeHint().height());
    EXPECT_EQ(kbd->geometry().right() + 1, 220 - 10);
    EXPECT_FALSE(shows(image, QRectF(kbd->x() - 6, 0, 6, row->height()), Pal::darkPal().tx, 60));
    EXPECT_TRUE(shows(image, QRectF(10, 0, 60, row->height()), Pal::darkPal().tx));
}

TEST(Orb, SnapshotsAreStillAndInThePalettesAccent)
{
    Orb::setSnapshot(true);
    for (qreal size : {22.0, 40.0}) {
        Orb orb(size);
        for (bool dark : {true, false}) {
            const QImage image = shoot(orb, dark, QStringLiteral("orb-%1").arg(size));
            EXPECT_EQ(image.size(), expectedImageSize(orb));
            // The centre cell is the brightest: the accent of the scheme.
            const QColor centre = strongest(image, QRectF(size / 2 - 2, size / 2 - 2, 4, 4),
                                            dark ? darkBackdrop : lightBackdrop);
            if (dark)
                EXPECT_TRUE(centre.green() > 200 && centre.red() > 140 && centre.blue() < 110) << describe(centre);
            else
                EXPECT_TRUE(centre.green() > 100 && centre.green() < 170 && centre.red() < 140) << describe(centre);
        }
        EXPECT_FALSE(orb.animating());
        EXPECT_TRUE(orb.accessibleName().isEmpty());
    }
    Orb::setSnapshot(false);
}

TEST(Orb, AnimatesOnlyWhileShownLiveAndMoving)
{
    EnvGuard motion("ZELVAN_REDUCE_MOTION", "0");
    Orb orb(40);
    orb.show();
    EXPECT_TRUE(waitFor([&] { return orb.animating(); }));
    EXPECT_EQ(orb.accessibleName(), "Zelvan is active");
    orb.hide();
    EXPECT_FALSE(orb.animating());

    Orb quiet(40, false);
    quiet.show();
    QCoreApplication::processEvents();
    EXPECT_FALSE(quiet.animating());

    EnvGuard reduced("ZELVAN_REDUCE_MOTION", "1");
    orb.show();
    QCoreApplication::processEvents();
    orb.repaint();
    EXPECT_FALSE(orb.animating());
}

TEST(Kit, ViewsTogetherInACard)
{
    // Effects inside effects: an orb's glow and buttons inside a card's clip and shadow.
    Orb::setSnapshot(true);
    auto* content = new QWidget;
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(12, 12, 12, 12);
    column->setSpacing(10);
    auto* header = new QHBoxLayout;
    header->setSpacing(10);
    auto* orb = new Orb(40);
    header->addWidget(orb);
    header->addWidget(new Wordmark);
    header->addStretch();
    header->addWidget(new ZVChip("Call", ZVChip::Tone::red));
    column->addLayout(header);
    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(6);
    auto* pin = new ZVButton("Pin");
    pin->setSymbol("pin");
    auto* voice = new ZVButton("Voice", {.kind = ZVButton::Kind::primary});
    voice->setSymbol("waveform");
    auto* hide = new ZVButton("", {.kind = ZVButton::Kind::quiet});
    hide->setSymbol("eye.slash");
    buttons->addWidget(new ZVButton("Wrap up", {.kind = ZVButton::Kind::danger}));
    buttons->addWidget(pin);
    buttons->addWidget(voice);
    buttons->addStretch();
    buttons->addWidget(hide);
    column->addLayout(buttons);
    column->addWidget(new ZVSection("Picking up", QStringLiteral("2 new")));
    column->addWidget(new ZVRow(
        {.symbol = QStringLiteral("clock"), .title = "Standup notes", .detail = QStringLiteral("09:30 · 12 min")},
        [] {}, new Kbd("⌥⌘P")));
    content->setFixedWidth(350);
    ZVCard card(content, 16, true);

    for (bool dark : {true, false}) {
        const Pal& p = Pal::of(dark ? ColorScheme::dark : ColorScheme::light);
        const QImage image = shoot(card, dark, "kit-card");
        EXPECT_EQ(image.size(), expectedImageSize(card));
        const QRect v = voice->geometry().translated(content->pos());
        EXPECT_COLOUR(at(image, v.x() + 4, v.center().y()), p.acFill);
        const QRect o = orb->geometry();
        const QColor centre = strongest(image, QRectF(o.center().x() - 2, o.center().y() - 2, 4, 4), p.bg);
        EXPECT_TRUE(close(centre, p.dark ? p.acFill : p.ac, 60)) << describe(centre);
    }
    Orb::setSnapshot(false);
}
