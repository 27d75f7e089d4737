#include "platform/InputIdle.h"

#include "platform/linux/XDisplay.h"

#include <memory>
#include <mutex>
#include <xcb/screensaver.h>

namespace InputIdle {

std::optional<double> seconds(QString* why)
{
    // One connection, kept for the process: the activity tick asks every 15 s.
    static std::mutex mutex;
    static KeptDisplay kept;
    std::lock_guard lock(mutex);
    XDisplay* display = kept.get(why);
    if (!display)
        return std::nullopt;
    xcb_connection_t* c = display->connection();
    const xcb_query_extension_reply_t* ext = xcb_get_extension_data(c, &xcb_screensaver_id);
    if (!ext || !ext->present) {
        if (why)
            *why = QStringLiteral("the X display has no screen-saver extension");
        return std::nullopt;
    }
    xcb_generic_error_t* error = nullptr;
    XReply<xcb_screensaver_query_info_reply_t> info(
        xcb_screensaver_query_info_reply(c, xcb_screensaver_query_info(c, display->root()), &error));
    if (!info) {
        if (why)
            *why = error ? XDisplay::describe(error) : QStringLiteral("lost the connection to the X display");
        std::free(error);
        return std::nullopt;
    }
    return info->ms_since_user_input / 1000.0;
}

} // namespace InputIdle
