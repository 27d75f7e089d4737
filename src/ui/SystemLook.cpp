#include "ui/SystemLook.h"

#include "platform/DesktopLook.h"
#include "ui/Scheme.h"

#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QLayout>
#include <QPalette>
#include <QStyle>

namespace {

const char* const followProperty = "zelvanSystemLook";

bool darkPalette(const QPalette& p)
{
    return p.color(QPalette::Window).lightness() < 128;
}

// The standard controls' colours on a dark desktop, for when Qt's own palette
// (no desktop theme plug-in) stays light.
QPalette darkStandard()
{
    QPalette p;
    const QColor window(0x2B, 0x2B, 0x2D), base(0x1E, 0x1E, 0x20), button(0x3A, 0x3A, 0x3D);
    const QColor text(0xEC, 0xEC, 0xEE), dim(0x8E, 0x8E, 0x93);
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        const bool off = group == QPalette::Disabled;
        p.setColor(group, QPalette::Window, window);
        p.setColor(group, QPalette::WindowText, off ? dim : text);
        p.setColor(group, QPalette::Base, base);
        p.setColor(group, QPalette::AlternateBase, window);
        p.setColor(group, QPalette::Text, off ? dim : text);
        p.setColor(group, QPalette::Button, button);
        p.setColor(group, QPalette::ButtonText, off ? dim : text);
        p.setColor(group, QPalette::BrightText, Qt::white);
        p.setColor(group, QPalette::PlaceholderText, dim);
        p.setColor(group, QPalette::ToolTipBase, button);
        p.setColor(group, QPalette::ToolTipText, text);
        p.setColor(group, QPalette::Highlight, QColor(0x2F, 0x6F, 0xD8));
        p.setColor(group, QPalette::HighlightedText, Qt::white);
        p.setColor(group, QPalette::Link, QColor(0x5A, 0xA9, 0xFF));
        p.setColor(group, QPalette::LinkVisited, QColor(0xA9, 0x8B, 0xFF));
        p.setColor(group, QPalette::Light, QColor(0x4A, 0x4A, 0x4E));
        p.setColor(group, QPalette::Midlight, QColor(0x40, 0x40, 0x44));
        p.setColor(group, QPalette::Mid, QColor(0x30, 0x30, 0x33));
        p.setColor(group, QPalette::Dark, QColor(0x1A, 0x1A, 0x1C));
        p.setColor(group, QPalette::Shadow, Qt::black);
    }
    return p;
}

void apply(QWidget* view)
{
    const bool dark = Scheme::of(view) == ColorScheme::dark;
    const QPalette desktop = QApplication::palette();
    if (darkPalette(desktop) == dark)
        view->setPalette(desktop);
    else
        view->setPalette(dark ? darkStandard() : QApplication::style()->standardPalette());
}

// Applies the palette again whenever the scheme the view draws in may have
// changed: a new parent (a snapshot's host forces one) or a forced scheme.
class Follower : public QObject {
public:
    explicit Follower(QWidget* view)
        : QObject(view)
    {
        view->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        const bool schemeMayDiffer = event->type() == QEvent::ParentChange || event->type() == QEvent::Show
            || (event->type() == QEvent::DynamicPropertyChange
                && static_cast<QDynamicPropertyChangeEvent*>(event)->propertyName() == Scheme::forcedProperty);
        if (schemeMayDiffer)
            apply(static_cast<QWidget*>(watched));
        return false;
    }
};

} // namespace

namespace SystemLook {

QFont font(Style style)
{
    QFont f = QApplication::font();
    switch (style) {
    case Style::body:
        f.setPixelSize(13);
        break;
    case Style::caption:
        f.setPixelSize(11);
        break;
    case Style::subheadline:
        f.setPixelSize(12);
        break;
    case Style::headline:
        f.setPixelSize(13);
        f.setWeight(QFont::Bold);
        break;
    case Style::title2:
        f.setPixelSize(17);
        f.setWeight(QFont::Bold);
        break;
    }
    return f;
}

QColor red()
{
    return QColor(0xE5, 0x39, 0x35);
}

QColor green()
{
    return QColor(0x2E, 0xA0, 0x43);
}

QColor orange()
{
    return QColor(0xF0, 0x8C, 0x00);
}

QLabel* label(const QString& text, Style style, QWidget* parent)
{
    auto* l = new QLabel(parent);
    // Server and user texts must never be read as markup.
    l->setTextFormat(Qt::PlainText);
    l->setText(text);
    l->setFont(font(style));
    return l;
}

void secondary(QLabel* label)
{
    label->setForegroundRole(QPalette::PlaceholderText);
}

void tint(QLabel* label, const QColor& color)
{
    QPalette p = label->palette();
    p.setColor(QPalette::WindowText, color);
    label->setPalette(p);
    label->setForegroundRole(QPalette::WindowText);
}

void wrap(QLabel* label)
{
    label->setWordWrap(true);
    // A wrapped label may get more height than its lines: keep them at the top.
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Minimum);
    policy.setHeightForWidth(true); // its height follows the width it gets
    label->setSizePolicy(policy);
}

void follow(QWidget* view)
{
    static const bool once = [] {
        DesktopLook::onSchemeChange([] {
            for (QWidget* w : QApplication::allWidgets())
                if (w->property(followProperty).toBool())
                    apply(w);
        });
        return true;
    }();
    (void)once;
    view->setProperty(followProperty, true);
    new Follower(view);
    apply(view);
}

void relayout(QWidget* root)
{
    for (QWidget* child : root->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (!child->isWindow())
            relayout(child);
    if (QLayout* layout = root->layout()) {
        layout->invalidate();
        layout->activate();
    }
    root->updateGeometry();
}

} // namespace SystemLook
