#include "ui/ZVFont.h"

#include "core/Log.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QScreen>
#include <mutex>

namespace {

// Point size that Qt turns into `size` logical pixels on this screen.
qreal pointsFor(qreal size)
{
    qreal dpi = 96;
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        dpi = screen->logicalDotsPerInchY();
    return size * 72.0 / dpi;
}

QFont make(const char* family, qreal size, QFont::Weight weight)
{
    static std::once_flag checked;
    std::call_once(checked, [] {
        for (const char* f : {ZVFont::sansFamily, ZVFont::monoFamily}) {
            if (!QFontDatabase::hasFamily(QString::fromLatin1(f)))
                slog(QStringLiteral("interface: the font %1 is not installed; text is drawn in a substitute")
                         .arg(QLatin1String(f)));
        }
    });
    QFont font{QString::fromLatin1(family)};
    font.setPointSizeF(pointsFor(size));
    font.setWeight(weight);
    font.setStyleStrategy(QFont::PreferAntialias);
    font.setHintingPreference(QFont::PreferNoHinting);
    return font;
}

} // namespace

namespace ZVFont {

QFont sans(qreal size, QFont::Weight weight)
{
    return make(sansFamily, size, weight);
}

QFont mono(qreal size, QFont::Weight weight)
{
    return make(monoFamily, size, weight);
}

QFont tracked(QFont font, qreal points)
{
    font.setLetterSpacing(QFont::AbsoluteSpacing, points);
    return font;
}

} // namespace ZVFont
