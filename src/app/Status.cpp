// The tray item: its click, its clock and its blinking recording icon.
#include "app/AppController.h"

#include "core/Fmt.h"

void AppController::statusClicked()
{
    popover->toggle();
}

void AppController::updateStatusTitle()
{
    if (!statusCreated)
        return;
    Ports::StatusItem& item = *ports_.statusItem;
    if (recorder) {
        item.setTitle(u' ' + Fmt::clock(recorder->elapsed()));
        item.setToolTip(recordingToolTip);
    } else if (saving || starting) {
        item.setTitle(QStringLiteral(" …"));
    } else {
        item.setTitle(QString());
        item.setToolTip(idleToolTip);
    }
    setRecIcon();
}

void AppController::setRecIcon()
{
    if (!statusCreated)
        return;
    Ports::StatusItem& item = *ports_.statusItem;
    if (recorder) {
        if (!blinkTimer) {
            blinkOn = true;
            blinkTimer = ports_.scheduler->every(0.5, weakly([](AppController& c) {
                                                     if (!c.recorder)
                                                         return;
                                                     c.blinkOn = !c.blinkOn;
                                                     c.ports_.statusItem->setIcon(true, c.blinkOn);
                                                 }));
        }
        item.setIcon(true, blinkOn);
    } else {
        if (blinkTimer) {
            ports_.scheduler->cancel(*blinkTimer);
            blinkTimer.reset();
        }
        item.setIcon(false, true);
    }
}
