#include "ui/Symbols.h"

#include "core/Log.h"
#include "ui/ZVFont.h"

#include <QFontDatabase>
#include <QHash>
#include <QSet>
#include <mutex>

namespace {

struct Entry {
    const char* name;
    char16_t glyph; // the Material Icons code point
};

// One row per symbol name a view uses.
constexpr Entry table[] = {
    {"arrow.clockwise", 0xE5D5},       // refresh
    {"arrow.right", 0xE5C8},           // arrow_forward
    {"arrow.up.right.square", 0xE89E}, // open_in_new
    {"book", 0xEA19},                  // menu_book
    {"chevron.down", 0xE5CF},          // expand_more
    {"chevron.left", 0xE5CB},          // chevron_left
    {"chevron.right", 0xE5CC},         // chevron_right
    {"chevron.up", 0xE5CE},            // expand_less
    {"clock", 0xE8B5},                 // schedule
    {"eye.slash", 0xE8F5},             // visibility_off
    {"gearshape", 0xE8B8},             // settings
    {"pin", 0xF10D},                   // push_pin
    {"plus", 0xE145},                  // add
    {"power", 0xE8AC},                 // power_settings_new
    {"rectangle.grid.2x2", 0xE9B0},    // grid_view
    {"square.grid.2x2", 0xE9B0},       // grid_view
    {"sun.haze", 0xE1C6},              // wb_twilight
    {"waveform", 0xE1B8},              // graphic_eq
    {"waveform.circle.fill", 0xEF71},  // stop_circle: ends listening
    {"xmark", 0xE5CD},                 // close
};

} // namespace

namespace Symbols {

QString glyph(const QString& name)
{
    for (const Entry& e : table) {
        if (name == QLatin1String(e.name))
            return QString(QChar(e.glyph));
    }
    static std::mutex lock;
    static QSet<QString> reported;
    std::lock_guard guard(lock);
    if (!reported.contains(name)) {
        reported.insert(name);
        slog(QStringLiteral("interface: no icon for the symbol \"%1\"").arg(name));
    }
    return {};
}

QFont font(qreal size)
{
    static std::once_flag checked;
    std::call_once(checked, [] {
        if (!QFontDatabase::hasFamily(QString::fromLatin1(family)))
            slog(QStringLiteral("interface: the font %1 is not installed; symbols are not drawn")
                     .arg(QLatin1String(family)));
    });
    // The icons sit inside a padded square of the em; a fifth more matches the
    // visual size a symbol has next to text of the same point size.
    QFont f = ZVFont::sans(size * 1.2);
    f.setFamilies({QString::fromLatin1(family)});
    f.setStyleStrategy(QFont::NoFontMerging);
    return f;
}

} // namespace Symbols
