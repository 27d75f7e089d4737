#pragma once

#include "platform/ScreenStream.h"

#include <QString>
#include <cstdlib>
#include <memory>
#include <vector>
#include <xcb/xcb.h>

// Frees an XCB reply or error with free(), as XCB wants.
struct XFree {
    void operator()(void* p) const { std::free(p); }
};
template <class T>
using XReply = std::unique_ptr<T, XFree>;

// One connection to an X display and the facts about its screen that capture needs.
// Not thread-safe: one thread uses it at a time.
class XDisplay {
public:
    // An empty name means $DISPLAY. Throws CaptureError when the display cannot be opened.
    explicit XDisplay(const QString& name = {});
    ~XDisplay();
    XDisplay(const XDisplay&) = delete;
    XDisplay& operator=(const XDisplay&) = delete;

    xcb_connection_t* connection() const { return c_; }
    xcb_screen_t* screen() const { return screen_; }
    xcb_window_t root() const { return screen_->root; }
    // On this machine (a local socket), so shared memory reaches the server.
    bool local() const { return local_; }

    // Throws CaptureError once the server has gone away.
    void checkAlive() const;
    // The atom of a name; XCB_ATOM_NONE when `create` is false and nobody made it yet.
    xcb_atom_t atom(const char* name, bool create);
    // The active RandR outputs, or the whole screen as one display.
    std::vector<CaptureDisplay> outputs();

    // "X error BadMatch (8) in request 130"
    static QString describe(const xcb_generic_error_t* error);

private:
    xcb_connection_t* c_ = nullptr;
    xcb_screen_t* screen_ = nullptr;
    bool local_ = false;
};

// A connection kept for the life of the process by a caller that asks often,
// opened again when it broke. Not locked: the caller holds its own lock.
class KeptDisplay {
public:
    // The connection, or nothing with the reason when the display cannot be opened.
    XDisplay* get(QString* why);

private:
    std::unique_ptr<XDisplay> display_;
};
