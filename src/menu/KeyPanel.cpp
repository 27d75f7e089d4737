#include "menu/KeyPanel.h"

#include <QKeyEvent>
#include <QMouseEvent>

KeyPanel::KeyPanel(QWidget* parent)
    : QWidget(parent, Qt::Popup | Qt::FramelessWindowHint | Qt::NoDropShadowWindowHint)
{
    setAttribute(Qt::WA_TranslucentBackground);
    setFocusPolicy(Qt::StrongFocus);
    setWindowTitle(QStringLiteral("Zelvan"));
}

void KeyPanel::keyPressEvent(QKeyEvent* event)
{
    if (onKey && onKey(*event)) {
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

void KeyPanel::mousePressEvent(QMouseEvent* event)
{
    const bool outside = !rect().contains(event->position().toPoint());
    if (outside && anchor.contains(event->globalPosition().toPoint()))
        setAttribute(Qt::WA_NoMouseReplay);
    // A pop-up closes itself on a press outside.
    QWidget::mousePressEvent(event);
}

void KeyPanel::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    if (onHidden)
        onHidden();
}
