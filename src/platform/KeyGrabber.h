#pragma once

#include <QString>
#include <Qt>
#include <functional>
#include <memory>

// Keys grabbed for the whole desktop: a key with its modifiers reaches us whatever
// window has the focus, with or without NumLock and CapsLock on. Events arrive on
// the thread that opened the grabber, from its event loop. A key held down gives
// one press and one release, however long the keyboard repeats it.
class KeyGrabber {
public:
    struct Event {
        quint32 id = 0;
        bool released = false;
    };
    using Handler = std::function<void(const Event&)>;

    // The status of a grab when the keyboard has no key that types `key`.
    static constexpr int noSuchKey = -1;

    virtual ~KeyGrabber() = default;

    // 0 once the combination is ours and reports `id`; otherwise the platform's
    // status and nothing is grabbed. On X11 the status is the X error code:
    // BadAccess (10) when another client holds the combination.
    virtual int grab(quint32 id, Qt::Key key, Qt::KeyboardModifiers modifiers) = 0;

    // The desktop's grabber, or nullptr with `error` saying why there is none
    // (a Wayland session without XWayland).
    static std::unique_ptr<KeyGrabber> open(Handler handler, QString* error);
};
