#pragma once

#include <QtGlobal>
#include <Qt>
#include <QKeyEvent>
#include <functional>

// System-wide shortcuts that work whatever application is in front. Handlers run
// on the main thread, queued after the desktop's key event has been handled.
// Registrations last until the process ends.
namespace HotKeys {

using Handler = std::function<void()>;

// One of the application's shortcuts. The Mac's Command-Option is Ctrl+Alt here.
struct Key {
    quint32 id;
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    bool hold; // also reports the release
};

inline constexpr Qt::KeyboardModifiers appModifiers = Qt::ControlModifier | Qt::AltModifier;
inline constexpr Key kickIn{1, Qt::Key_R, appModifiers, false}; // kick in or wrap up
inline constexpr Key pin{2, Qt::Key_P, appModifiers, false};
inline constexpr Key talk{3, Qt::Key_Space, appModifiers, true}; // held while speaking

// Grabs the key for the desktop and calls `handler` on each press and `onRelease`
// (when given) on each release; a key held down is one press. The handlers are
// stored under `id` even when the grab fails, replacing the press handler and,
// when `onRelease` is given, the release handler registered before. False, with
// one log line, when another program owns the combination or the session has no
// X11.
bool registerKey(quint32 id, Qt::Key key, Qt::KeyboardModifiers modifiers, Handler onRelease, Handler handler);

// A key event that one of our own windows got instead of the desktop (one that
// holds the keyboard): when it is a registered combination, its handler runs as
// if the desktop had reported it, and the result is true. A repeat of a held key
// counts as handled and runs nothing.
bool deliver(const QKeyEvent& event);

} // namespace HotKeys
