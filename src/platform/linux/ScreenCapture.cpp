#include "platform/ScreenCapture.h"

#include "platform/CaptureError.h"
#include "platform/linux/XDisplay.h"
#include "platform/linux/XGrabber.h"

namespace ScreenCapture {

std::vector<CaptureDisplay> displays()
{
    XDisplay x;
    return x.outputs();
}

namespace {

CaptureDisplay primaryOf(const std::vector<CaptureDisplay>& all)
{
    for (const CaptureDisplay& d : all)
        if (d.primary)
            return d;
    return all.front(); // outputs() is never empty
}

} // namespace

CaptureDisplay primaryDisplay()
{
    return primaryOf(displays());
}

QImage grabPrimary()
{
    XDisplay x;
    XGrabber grabber(x);
    return grabber.grab(primaryOf(x.outputs()).geometry, {});
}

void probe()
{
    XDisplay x;
    XGrabber grabber(x);
    grabber.grab(QRect(0, 0, 1, 1), {});
}

void exclude(unsigned long window)
{
    XDisplay x;
    const xcb_atom_t atom = x.atom(excludeProperty, true);
    const uint32_t one = 1;
    XReply<xcb_generic_error_t> error(
        xcb_request_check(x.connection(),
                          xcb_change_property_checked(x.connection(), XCB_PROP_MODE_REPLACE, xcb_window_t(window), atom,
                                                      XCB_ATOM_CARDINAL, 32, 1, &one)));
    if (error)
        throw CaptureError(
            QStringLiteral("cannot mark window 0x%1: %2").arg(window, 0, 16).arg(XDisplay::describe(error.get())));
    x.checkAlive();
}

bool isExcluded(unsigned long window)
{
    XDisplay x;
    const xcb_atom_t atom = x.atom(excludeProperty, false);
    if (atom == XCB_ATOM_NONE)
        return false;
    XReply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        x.connection(), xcb_get_property(x.connection(), 0, xcb_window_t(window), atom, XCB_ATOM_CARDINAL, 0, 1),
        nullptr));
    return reply && reply->type == XCB_ATOM_CARDINAL && xcb_get_property_value_length(reply.get()) > 0;
}

} // namespace ScreenCapture
