#include "ui/SystemLook.h"

#include <QApplication>
#include <QLabel>
#include <QLayout>
#include <QPalette>

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
