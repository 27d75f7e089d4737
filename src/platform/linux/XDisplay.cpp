#include "platform/linux/XDisplay.h"

#include "platform/CaptureError.h"

#include <QByteArray>
#include <cstring>
#include <iterator>
#include <xcb/randr.h>

namespace {

QString openError(const QString& name)
{
    if (name.isEmpty()) {
        if (!qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
            return QStringLiteral("no X display: this Wayland session has no XWayland (DISPLAY is not set)");
        return QStringLiteral("no X display (DISPLAY is not set)");
    }
    return QStringLiteral("cannot open the X display \"%1\"").arg(name);
}

} // namespace

XDisplay::XDisplay(const QString& name)
{
    const QString shown = name.isEmpty() ? qEnvironmentVariable("DISPLAY") : name;
    if (shown.isEmpty())
        throw CaptureError(openError({}));
    const QByteArray raw = shown.toLocal8Bit();
    int screenNumber = 0;
    c_ = xcb_connect(raw.constData(), &screenNumber);
    if (xcb_connection_has_error(c_)) {
        xcb_disconnect(c_);
        c_ = nullptr;
        throw CaptureError(openError(shown));
    }
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c_));
    for (int i = 0; it.rem > 0 && i < screenNumber; ++i)
        xcb_screen_next(&it);
    if (it.rem == 0) {
        xcb_disconnect(c_);
        c_ = nullptr;
        throw CaptureError(QStringLiteral("the X display \"%1\" has no screen %2").arg(shown).arg(screenNumber));
    }
    screen_ = it.data;
    local_ = shown.startsWith(u':') || shown.startsWith(QStringLiteral("unix"));
}

XDisplay::~XDisplay()
{
    if (c_)
        xcb_disconnect(c_);
}

void XDisplay::checkAlive() const
{
    if (xcb_connection_has_error(c_))
        throw CaptureError(QStringLiteral("lost the connection to the X display"));
}

xcb_atom_t XDisplay::atom(const char* name, bool create)
{
    XReply<xcb_intern_atom_reply_t> reply(
        xcb_intern_atom_reply(c_, xcb_intern_atom(c_, create ? 0 : 1, uint16_t(strlen(name)), name), nullptr));
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

std::vector<CaptureDisplay> XDisplay::outputs()
{
    checkAlive();
    std::vector<CaptureDisplay> result;
    const xcb_query_extension_reply_t* randr = xcb_get_extension_data(c_, &xcb_randr_id);
    XReply<xcb_randr_query_version_reply_t> version;
    if (randr && randr->present)
        version.reset(xcb_randr_query_version_reply(c_, xcb_randr_query_version(c_, 1, 3), nullptr));
    // Outputs and the primary one need RandR 1.3.
    if (version && (version->major_version > 1 || version->minor_version >= 3)) {
        XReply<xcb_randr_get_output_primary_reply_t> primary(
            xcb_randr_get_output_primary_reply(c_, xcb_randr_get_output_primary(c_, root()), nullptr));
        XReply<xcb_randr_get_screen_resources_current_reply_t> resources(
            xcb_randr_get_screen_resources_current_reply(c_, xcb_randr_get_screen_resources_current(c_, root()),
                                                         nullptr));
        if (resources) {
            const xcb_randr_output_t* outputs = xcb_randr_get_screen_resources_current_outputs(resources.get());
            const int count = xcb_randr_get_screen_resources_current_outputs_length(resources.get());
            for (int i = 0; i < count; ++i) {
                XReply<xcb_randr_get_output_info_reply_t> info(xcb_randr_get_output_info_reply(
                    c_, xcb_randr_get_output_info(c_, outputs[i], resources->config_timestamp), nullptr));
                if (!info || info->connection != XCB_RANDR_CONNECTION_CONNECTED || info->crtc == XCB_NONE)
                    continue;
                XReply<xcb_randr_get_crtc_info_reply_t> crtc(
                    xcb_randr_get_crtc_info_reply(c_,
                                                  xcb_randr_get_crtc_info(c_, info->crtc, resources->config_timestamp),
                                                  nullptr));
                if (!crtc || crtc->width == 0 || crtc->height == 0)
                    continue;
                const auto* name = reinterpret_cast<const char*>(xcb_randr_get_output_info_name(info.get()));
                CaptureDisplay display{
                    .name = QString::fromUtf8(name, xcb_randr_get_output_info_name_length(info.get())),
                    .geometry = QRect(crtc->x, crtc->y, crtc->width, crtc->height),
                    .primary = primary && primary->output == outputs[i],
                };
                result.push_back(display);
            }
        }
    }
    checkAlive();
    if (result.empty())
        result.push_back({.name = QStringLiteral("screen"),
                          .geometry = QRect(0, 0, screen_->width_in_pixels, screen_->height_in_pixels),
                          .primary = true});
    return result;
}

QString XDisplay::describe(const xcb_generic_error_t* error)
{
    static const char* const names[] = {"Success",   "BadRequest", "BadValue",         "BadWindow", "BadPixmap",
                                        "BadAtom",   "BadCursor",  "BadFont",          "BadMatch",  "BadDrawable",
                                        "BadAccess", "BadAlloc",   "BadColormap",      "BadGC",     "BadIDChoice",
                                        "BadName",   "BadLength",  "BadImplementation"};
    const int code = error->error_code;
    const QString name = code < int(std::size(names)) ? QString::fromLatin1(names[code]) : QStringLiteral("error");
    return QStringLiteral("X error %1 (%2) in request %3").arg(name).arg(code).arg(error->major_code);
}

XDisplay* KeptDisplay::get(QString* why)
{
    try {
        if (display_ && xcb_connection_has_error(display_->connection()))
            display_.reset();
        if (!display_)
            display_ = std::make_unique<XDisplay>();
    } catch (const CaptureError& e) {
        if (why)
            *why = QString::fromUtf8(e.what());
        return nullptr;
    }
    return display_.get();
}
