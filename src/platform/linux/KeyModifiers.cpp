#include "platform/KeyModifiers.h"

#include "platform/linux/XDisplay.h"

#include <memory>
#include <mutex>

namespace KeyModifiers {

std::optional<Held> current(QString* why)
{
    // One connection for the process: a held voice key is asked five times a second.
    static std::mutex mutex;
    static KeptDisplay kept;
    std::lock_guard lock(mutex);
    XDisplay* display = kept.get(why);
    if (!display)
        return std::nullopt;
    xcb_connection_t* c = display->connection();
    xcb_generic_error_t* error = nullptr;
    XReply<xcb_query_pointer_reply_t> pointer(xcb_query_pointer_reply(c, xcb_query_pointer(c, display->root()), &error));
    if (!pointer) {
        if (why)
            *why = error ? XDisplay::describe(error) : QStringLiteral("lost the connection to the X display");
        std::free(error);
        return std::nullopt;
    }
    // Alt is Mod1 on every common keymap, as the hot-key grab assumes.
    return Held{(pointer->mask & XCB_MOD_MASK_CONTROL) != 0, (pointer->mask & XCB_MOD_MASK_1) != 0};
}

} // namespace KeyModifiers
