#include "menu/KeyPanel.h"

#include "ui/HotKeys.h"

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
    // The panel holds the keyboard while it shows, so the desktop never sees
    // the application's own global keys: they are passed on from here.
    if (HotKeys::deliver(*event)) {
        event->accept();
        return;
    }
    if (onKey && onKey(*event)) {
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

void KeyPanel::keyReleaseEvent(QKeyEvent* event)
{
    if (HotKeys::deliver(*event)) {
        event->accept();
        return;
    }
    QWidget::keyReleaseEvent(event);
}

void KeyPanel::mousePressEvent(QMouseEvent* event)
{
    const QPoint at = event->position().toPoint();
    if (rect().adjusted(margin, margin, -margin, -margin).contains(at))
        return QWidget::mousePressEvent(event);
    if (anchor.contains(event->globalPosition().toPoint()))
        setAttribute(Qt::WA_NoMouseReplay);
    // The margin shows nothing, so a press there is a press beside the card
    // (it may lie over the tray icon itself).
    if (rect().contains(at)) {
        close();
        return;
    }
    // A pop-up closes itself on a press outside.
    QWidget::mousePressEvent(event);
}

void KeyPanel::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    if (onHidden)
        onHidden();
}
