#include "ui/Scheme.h"

#include "platform/DesktopLook.h"

#include <QApplication>
#include <QPalette>
#include <QWidget>

namespace {

void repaintOnDesktopChange()
{
    static const bool once = [] {
        DesktopLook::onSchemeChange([] {
            for (QWidget* w : QApplication::allWidgets())
                w->update();
        });
        return true;
    }();
    (void)once;
}

} // namespace

namespace Scheme {

const char* const forcedProperty = "zelvanColorScheme";

ColorScheme desktop()
{
    const QByteArray forced = qgetenv("ZELVAN_COLOR_SCHEME");
    if (forced == "dark")
        return ColorScheme::dark;
    if (forced == "light")
        return ColorScheme::light;
    repaintOnDesktopChange();
    if (const std::optional<bool> dark = DesktopLook::prefersDark())
        return *dark ? ColorScheme::dark : ColorScheme::light;
    return QGuiApplication::palette().color(QPalette::Window).lightness() < 128 ? ColorScheme::dark : ColorScheme::light;
}

ColorScheme of(const QWidget* widget)
{
    for (const QWidget* w = widget; w; w = w->parentWidget()) {
        const QVariant forced = w->property(forcedProperty);
        if (forced.isValid())
            return forced.toInt() == int(ColorScheme::dark) ? ColorScheme::dark : ColorScheme::light;
    }
    return desktop();
}

void force(QWidget* widget, std::optional<ColorScheme> scheme)
{
    widget->setProperty(forcedProperty, scheme ? QVariant(int(*scheme)) : QVariant());
    widget->update();
}

} // namespace Scheme
