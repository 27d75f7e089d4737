#include "platform/Wording.h"
#include "ui/Motion.h"
#include "ui/Orb.h"
#include "ui/Pal.h"
#include "ui/Symbols.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

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

} // namespace

TEST(Pal, TablesAndSchemes)
{
    EXPECT_TRUE(Pal::of(ColorScheme::dark).dark);
    EXPECT_FALSE(Pal::of(ColorScheme::light).dark);
    // On light surfaces the lime is only a fill; accents use the darker green.
    EXPECT_EQ(Pal::of(ColorScheme::light).ac.name(), "#4a8a00");
    EXPECT_EQ(Pal::of(ColorScheme::light).acFill.name(), "#c6ff3d");
    EXPECT_EQ(Pal::of(ColorScheme::dark).ac, Pal::of(ColorScheme::dark).acFill);
    EXPECT_EQ(Pal::darkPal().bg.name(), "#07080b");
    EXPECT_EQ(Pal::lightPal().bg.name(), "#fbfbfa");
    EXPECT_EQ(Pal::darkPal().ln2, QColor::fromRgbF(1, 1, 1, 0.10f));
    EXPECT_NEAR(Pal::darkPal().shadow.alphaF(), 0.55, 1.0 / 65535);
    EXPECT_EQ(Pal::darkPal().shadow.rgb(), QColor(Qt::black).rgb());
}

TEST(Pal, Hex)
{
    EXPECT_EQ(Pal::hex(0xFF4D5E), Pal::darkPal().red);
    // The top byte is not part of the colour.
    EXPECT_EQ(Pal::hex(0xABFF4D5E), Pal::hex(0xFF4D5E));
    EXPECT_EQ(Pal::hex(0x101317, 0.08), Pal::lightPal().ln);
    const QColor c = Pal::hex(0x123456, 0.5);
    EXPECT_EQ(c.red(), 0x12);
    EXPECT_EQ(c.green(), 0x34);
    EXPECT_EQ(c.blue(), 0x56);
    EXPECT_NEAR(c.alphaF(), 0.5, 1.0 / 255);
}

TEST(Motion, ReducedMotionTurnsSpringsIntoShortEaseOuts)
{
    {
        EnvGuard reduce("ZELVAN_REDUCE_MOTION", "1");
        EXPECT_TRUE(Motion::reduced());
        EXPECT_EQ(Motion::spring().kind, Animation::Kind::easeOut);
        EXPECT_EQ(Motion::spring().msecs(), 120);
        EXPECT_EQ(Motion::quick().kind, Animation::Kind::easeOut);
        EXPECT_EQ(Motion::quick().msecs(), 100);
    }
    EnvGuard normal("ZELVAN_REDUCE_MOTION", "0");
    EXPECT_FALSE(Motion::reduced());
    const Animation spring = Motion::spring();
    EXPECT_EQ(spring.kind, Animation::Kind::spring);
    EXPECT_DOUBLE_EQ(spring.response, 0.32);
    EXPECT_DOUBLE_EQ(spring.damping, 0.82);
    const Animation quick = Motion::quick();
    EXPECT_DOUBLE_EQ(quick.response, 0.22);
    EXPECT_DOUBLE_EQ(quick.damping, 0.9);
    // The quicker, stiffer spring settles sooner.
    EXPECT_LT(quick.msecs(), spring.msecs());
}

TEST(Motion, SpringCurvesStartAtZeroEndAtOneAndBarelyOvershoot)
{
    EnvGuard normal("ZELVAN_REDUCE_MOTION", "0");
    for (const Animation& a : {Motion::spring(), Motion::quick()}) {
        const QEasingCurve c = a.curve();
        EXPECT_NEAR(c.valueForProgress(0), 0, 1e-9);
        EXPECT_DOUBLE_EQ(c.valueForProgress(1), 1);
        EXPECT_GT(c.valueForProgress(0.3), 0.5); // most of the way early on
        qreal peak = 0;
        for (int i = 0; i <= 100; ++i)
            peak = std::max(peak, c.valueForProgress(i / 100.0));
        EXPECT_LT(peak, 1.02); // damped: a small overshoot at most
    }
}

TEST(Wording, MacKeysAndWordsBecomeLinuxOnes)
{
    const std::pair<QString, QString> cases[] = {
        {QStringLiteral("⌥⌘P"), QStringLiteral("Ctrl+Alt+P")},
        {QStringLiteral("⌘,"), QStringLiteral("Ctrl+,")},
        {QStringLiteral("⌘Q"), QStringLiteral("Ctrl+Q")},
        {QStringLiteral("hold ⌥⌘␣"), QStringLiteral("hold Ctrl+Alt+Space")},
        {QStringLiteral("Pin a region (⌥⌘P)"), QStringLiteral("Pin a region (Ctrl+Alt+P)")},
        {QStringLiteral("⇧⌘R"), QStringLiteral("Ctrl+Shift+R")},
        {QStringLiteral("Open on this Mac"), QStringLiteral("Open on this computer")},
        {QStringLiteral("Macro"), QStringLiteral("Macro")},
        {QStringLiteral("Session stopped by macOS"), QStringLiteral("Session stopped by the system")},
        {QStringLiteral("⌘"), QStringLiteral("Ctrl")},
        {QStringLiteral("Microphone access is off (System Settings › Privacy & Security › Microphone)."),
         QStringLiteral("Microphone access is off (Settings › Sound › Input).")},
        {QStringLiteral("Open System Settings"), QStringLiteral("Open Settings")},
        {QStringLiteral("The menu bar still shows that Zelvan is recording."),
         QStringLiteral("The tray still shows that Zelvan is recording.")},
        {QStringLiteral("accessory (menu bar only)"), QStringLiteral("accessory (tray only)")},
        {QString(), QString()},
    };
    for (const auto& [mac, shown] : cases)
        EXPECT_EQ(Wording::shown(mac), shown) << mac.toStdString();
}

TEST(Symbols, NamesMapToIconGlyphs)
{
    EXPECT_EQ(Symbols::glyph("xmark"), QString(QChar(0xE5CD)));
    EXPECT_EQ(Symbols::glyph("eye.slash"), QString(QChar(0xE8F5)));
    EXPECT_EQ(Symbols::glyph("chevron.up"), QString(QChar(0xE5CE)));
    EXPECT_TRUE(Symbols::glyph("no.such.symbol").isEmpty());
}

TEST(Orb, RoundFieldCellCounts)
{
    // Dot orbs use a 7 × 7 grid, larger orbs 11 × 11; the corners stay empty.
    const std::pair<qreal, size_t> cases[] = {{22, 37}, {29.9, 37}, {30, 97}, {40, 97}};
    for (const auto& [size, count] : cases)
        EXPECT_EQ(Orb::cells(size, {}).size(), count) << size;
}

TEST(Orb, ValueFormula)
{
    const auto at = [](const std::vector<Orb::Cell>& cells, qreal x, qreal y) {
        for (const Orb::Cell& c : cells) {
            if (std::abs(c.centre.x() - x) < 1e-9 && std::abs(c.centre.y() - y) < 1e-9)
                return c.value;
        }
        ADD_FAILURE() << "no cell at " << x << "," << y;
        return -1.0;
    };
    // 44 wide: 11 cells of 4; the centre cell sits at (22, 22), the middle row's
    // right edge cell at (42, 22), three cells right of the centre at (34, 22).
    Orb::Moment m{.level = 0, .t = 0, .since = 1e9, .still = false};
    // t = 0: the wave term is (1 · sin(0.9 dx) · 0.5 + 0.5) · 0.25.
    EXPECT_NEAR(at(Orb::cells(44, m), 22, 22), 0.75 + 0.125, 1e-9);
    EXPECT_NEAR(at(Orb::cells(44, m), 42, 22), (std::sin(4.5) * 0.5 + 0.5) * 0.25, 1e-9);
    m.level = 0.1;
    EXPECT_NEAR(at(Orb::cells(44, m), 22, 22), 0.975, 1e-9);
    EXPECT_NEAR(at(Orb::cells(44, m), 42, 22), 0.05 + (std::sin(4.5) * 0.5 + 0.5) * 0.25, 1e-9);
    m.level = 0.55;
    EXPECT_EQ(at(Orb::cells(44, m), 22, 22), 1.0); // clamped

    // A pulse 0.6 s ago: the ring is at 0.6 of the radius and half faded.
    m.level = 0;
    const qreal before = at(Orb::cells(44, m), 34, 22);
    m.since = 0.6;
    EXPECT_NEAR(at(Orb::cells(44, m), 34, 22), before + 0.5 * 0.6, 1e-9);
    m.still = true; // a still orb never shows the ring
    EXPECT_NEAR(at(Orb::cells(44, m), 34, 22), before, 1e-9);
    m.still = false;
    m.since = 1.2; // over
    EXPECT_NEAR(at(Orb::cells(44, m), 34, 22), before, 1e-9);
}

TEST(Orb, Ramp)
{
    const std::pair<qreal, QChar> cases[] = {
        {0, ' '}, {0.099, ' '}, {0.1, '.'}, {0.25, QChar(0x00B7)}, {0.5, '='}, {0.99, '%'}, {1, '@'},
    };
    for (const auto& [value, ch] : cases)
        EXPECT_EQ(Orb::rampAt(value), ch) << value;
}
