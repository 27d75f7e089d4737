#include "ui/HotKeys.h"

#include "core/Log.h"
#include "platform/KeyGrabber.h"

#include <QCoreApplication>
#include <map>
#include <set>
#include <memory>

namespace HotKeys {
namespace {

struct Tables {
    std::map<quint32, std::pair<Qt::Key, Qt::KeyboardModifiers>> keys;
    std::map<quint32, Handler> handlers;
    std::map<quint32, Handler> releases;
    std::unique_ptr<KeyGrabber> grabber;
    bool opened = false;
};

// Lives for the whole run: grabs are never given back, and the grabber must not be
// torn down after the application object at exit.
Tables& tables()
{
    static Tables* t = new Tables;
    return *t;
}

void run(const KeyGrabber::Event& event)
{
    const auto& table = event.released ? tables().releases : tables().handlers;
    const auto found = table.find(event.id);
    if (found == table.end())
        return;
    // Never inside the desktop's event handling: a handler may open windows or block.
    QMetaObject::invokeMethod(QCoreApplication::instance(), Handler(found->second), Qt::QueuedConnection);
}

} // namespace

bool registerKey(quint32 id, Qt::Key key, Qt::KeyboardModifiers modifiers, Handler onRelease, Handler handler)
{
    Tables& t = tables();
    if (!t.opened) {
        t.opened = true;
        QString why;
        t.grabber = KeyGrabber::open(run, &why);
        if (!t.grabber)
            slog(QStringLiteral("hotkeys: global keys need X11 — %1").arg(why));
    }
    t.keys[id] = {key, modifiers};
    t.handlers[id] = std::move(handler);
    if (onRelease)
        t.releases[id] = std::move(onRelease);
    if (!t.grabber)
        return false;
    const int status = t.grabber->grab(id, key, modifiers);
    if (status == 0)
        return true;
    slog(QStringLiteral("hotkey %1 not registered (%2) — another app or a system shortcut owns it").arg(id).arg(status));
    return false;
}

bool deliver(const QKeyEvent& event)
{
    // Pressed here: their release counts whatever modifiers are let go first.
    static std::set<quint32> down;
    const bool released = event.type() == QEvent::KeyRelease;
    if (!released && event.type() != QEvent::KeyPress)
        return false;
    const Qt::KeyboardModifiers held = event.modifiers() & ~(Qt::KeypadModifier | Qt::GroupSwitchModifier);
    for (const auto& [id, key] : tables().keys) {
        if (key.first != event.key() || (released ? !down.count(id) : key.second != held))
            continue;
        if (event.isAutoRepeat())
            return true;
        if (released)
            down.erase(id);
        else
            down.insert(id);
        run(KeyGrabber::Event{id, released});
        return true;
    }
    return false;
}

} // namespace HotKeys
