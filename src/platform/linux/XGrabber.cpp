#include "platform/linux/XGrabber.h"

#include "platform/CaptureError.h"
#include "platform/MediaClock.h"
#include "platform/ScreenCapture.h"

#include <cstring>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <xcb/shm.h>
#include <xcb/xfixes.h>

namespace {

const xcb_visualtype_t* rootVisual(const xcb_screen_t* screen)
{
    for (auto d = xcb_screen_allowed_depths_iterator(screen); d.rem; xcb_depth_next(&d))
        for (auto v = xcb_depth_visuals_iterator(d.data); v.rem; xcb_visualtype_next(&v))
            if (v.data->visual_id == screen->root_visual)
                return v.data;
    return nullptr;
}

int bitsPerPixel(const xcb_setup_t* setup, int depth)
{
    for (auto f = xcb_setup_pixmap_formats_iterator(setup); f.rem; xcb_format_next(&f))
        if (f.data->depth == depth)
            return f.data->bits_per_pixel;
    return 0;
}

} // namespace

XGrabber::XGrabber(XDisplay& display)
    : x_(display)
{
    xcb_connection_t* c = x_.connection();
    const xcb_setup_t* setup = xcb_get_setup(c);
    const int depth = x_.screen()->root_depth;
    const int bpp = bitsPerPixel(setup, depth);
    const xcb_visualtype_t* visual = rootVisual(x_.screen());
    const bool bgrx = setup->image_byte_order == XCB_IMAGE_ORDER_LSB_FIRST && bpp == 32 && (depth == 24 || depth == 32)
        && visual && visual->red_mask == 0xff0000 && visual->green_mask == 0xff00 && visual->blue_mask == 0xff;
    if (!bgrx)
        throw CaptureError(QStringLiteral("unsupported screen format: depth %1, %2 bits per pixel").arg(depth).arg(bpp));

    const xcb_query_extension_reply_t* shm = xcb_get_extension_data(c, &xcb_shm_id);
    shmUsable_ = x_.local() && shm && shm->present;

    const xcb_query_extension_reply_t* xfixes = xcb_get_extension_data(c, &xcb_xfixes_id);
    if (xfixes && xfixes->present) {
        // The server answers XFixes requests only after the client announced its version.
        XReply<xcb_xfixes_query_version_reply_t> version(
            xcb_xfixes_query_version_reply(c, xcb_xfixes_query_version(c, 4, 0), nullptr));
        xfixes_ = version && version->major_version >= 1;
    }
}

XGrabber::~XGrabber()
{
    detachShm();
}

bool XGrabber::attachShm(std::size_t bytes)
{
    detachShm();
    const int id = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
    if (id < 0) {
        shmUsable_ = false;
        return false;
    }
    void* addr = shmat(id, nullptr, 0);
    if (addr == reinterpret_cast<void*>(-1)) {
        shmctl(id, IPC_RMID, nullptr);
        shmUsable_ = false;
        return false;
    }
    xcb_connection_t* c = x_.connection();
    const xcb_shm_seg_t seg = xcb_generate_id(c);
    XReply<xcb_generic_error_t> error(xcb_request_check(c, xcb_shm_attach_checked(c, seg, id, 0)));
    // Once both sides are attached (or the server refused), the segment needs no name:
    // it goes away with the last user, even when we crash.
    shmctl(id, IPC_RMID, nullptr);
    if (error) {
        shmdt(addr);
        shmUsable_ = false;
        return false;
    }
    shmSeg_ = seg;
    shmAddr_ = addr;
    shmSize_ = bytes;
    return true;
}

void XGrabber::detachShm()
{
    if (!shmAddr_)
        return;
    if (!xcb_connection_has_error(x_.connection())) {
        xcb_shm_detach(x_.connection(), shmSeg_);
        xcb_flush(x_.connection());
    }
    shmdt(shmAddr_);
    shmAddr_ = nullptr;
    shmSize_ = 0;
}

QImage XGrabber::read(const QRect& rect)
{
    xcb_connection_t* c = x_.connection();
    const std::size_t bytes = std::size_t(rect.width()) * std::size_t(rect.height()) * 4;
    const uint8_t* data = nullptr;
    XReply<void> reply;
    xcb_generic_error_t* rawError = nullptr;

    if (shmUsable_ && (shmSize_ >= bytes || attachShm(bytes))) {
        const auto cookie = xcb_shm_get_image(c, x_.root(), int16_t(rect.x()), int16_t(rect.y()), uint16_t(rect.width()),
                                              uint16_t(rect.height()), ~0u, XCB_IMAGE_FORMAT_Z_PIXMAP, shmSeg_, 0);
        reply.reset(xcb_shm_get_image_reply(c, cookie, &rawError));
        data = static_cast<const uint8_t*>(shmAddr_);
    } else {
        const auto cookie = xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, x_.root(), int16_t(rect.x()), int16_t(rect.y()),
                                          uint16_t(rect.width()), uint16_t(rect.height()), ~0u);
        auto* plain = xcb_get_image_reply(c, cookie, &rawError);
        reply.reset(plain);
        if (plain && std::size_t(xcb_get_image_data_length(plain)) >= bytes)
            data = xcb_get_image_data(plain);
    }
    XReply<xcb_generic_error_t> error(rawError);
    if (error)
        throw CaptureError(QStringLiteral("screen grab failed: ") + XDisplay::describe(error.get()));
    x_.checkAlive();
    if (!reply || !data)
        throw CaptureError(QStringLiteral("screen grab failed: the X server sent no image"));

    // The fourth byte of each pixel is padding on a 24-bit screen; make it opaque.
    QImage image(rect.size(), QImage::Format_RGB32);
    const std::size_t rowBytes = std::size_t(rect.width()) * 4;
    for (int y = 0; y < rect.height(); ++y) {
        const auto* src = reinterpret_cast<const uint32_t*>(data + rowBytes * std::size_t(y));
        auto* dst = reinterpret_cast<uint32_t*>(image.scanLine(y));
        for (int x = 0; x < rect.width(); ++x)
            dst[x] = src[x] | 0xff000000u;
    }
    return image;
}

void XGrabber::drawCursor(QImage& image, const QPoint& origin)
{
    xcb_connection_t* c = x_.connection();
    XReply<xcb_xfixes_get_cursor_image_reply_t> cursor(
        xcb_xfixes_get_cursor_image_reply(c, xcb_xfixes_get_cursor_image(c), nullptr));
    if (!cursor)
        return;
    const uint32_t* pixels = xcb_xfixes_get_cursor_image_cursor_image(cursor.get());
    const int left = cursor->x - cursor->xhot - origin.x();
    const int top = cursor->y - cursor->yhot - origin.y();
    for (int cy = 0; cy < cursor->height; ++cy) {
        const int y = top + cy;
        if (y < 0 || y >= image.height())
            continue;
        auto* row = reinterpret_cast<uint32_t*>(image.scanLine(y));
        for (int cx = 0; cx < cursor->width; ++cx) {
            const int x = left + cx;
            const uint32_t src = pixels[cy * cursor->width + cx];
            const uint32_t alpha = src >> 24;
            if (x < 0 || x >= image.width() || alpha == 0)
                continue;
            // The cursor is premultiplied ARGB: out = src + dst × (1 − alpha).
            const uint32_t dst = row[x];
            uint32_t out = 0xff000000u;
            for (int shift = 0; shift <= 16; shift += 8) {
                const uint32_t s = (src >> shift) & 0xff, d = (dst >> shift) & 0xff;
                out |= std::min<uint32_t>(255, s + d * (255 - alpha) / 255) << shift;
            }
            row[x] = out;
        }
    }
}

std::vector<XGrabber::Window> XGrabber::windows()
{
    xcb_connection_t* c = x_.connection();
    if (!markAtom_)
        markAtom_ = x_.atom(ScreenCapture::excludeProperty, false);
    if (!markAtom_)
        return {}; // nobody has marked a window on this server yet

    auto children = [c](xcb_window_t parent) {
        std::vector<xcb_window_t> result;
        XReply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(c, xcb_query_tree(c, parent), nullptr));
        if (tree) {
            const xcb_window_t* list = xcb_query_tree_children(tree.get());
            result.assign(list, list + xcb_query_tree_children_length(tree.get()));
        }
        return result;
    };
    auto propertyCookie = [c, this](xcb_window_t w) {
        return xcb_get_property(c, 0, w, markAtom_, XCB_ATOM_CARDINAL, 0, 1);
    };
    auto hasMark = [c](xcb_get_property_cookie_t cookie) {
        xcb_generic_error_t* error = nullptr;
        XReply<xcb_get_property_reply_t> reply(xcb_get_property_reply(c, cookie, &error));
        std::free(error);
        return reply && reply->type != XCB_NONE;
    };

    // Top-level windows, bottom to top. Requests go out together; windows that vanish
    // meanwhile simply answer with an error and are skipped.
    const std::vector<xcb_window_t> top = children(x_.root());
    std::vector<xcb_get_window_attributes_cookie_t> attrs;
    std::vector<xcb_get_geometry_cookie_t> geometry;
    std::vector<xcb_get_property_cookie_t> marks;
    for (xcb_window_t w : top) {
        attrs.push_back(xcb_get_window_attributes(c, w));
        geometry.push_back(xcb_get_geometry(c, w));
        marks.push_back(propertyCookie(w));
    }
    std::vector<Window> result;
    std::vector<std::pair<std::size_t, xcb_window_t>> unmarked; // index in result, window
    for (std::size_t i = 0; i < top.size(); ++i) {
        xcb_generic_error_t* e1 = nullptr;
        xcb_generic_error_t* e2 = nullptr;
        XReply<xcb_get_window_attributes_reply_t> a(xcb_get_window_attributes_reply(c, attrs[i], &e1));
        XReply<xcb_get_geometry_reply_t> g(xcb_get_geometry_reply(c, geometry[i], &e2));
        std::free(e1);
        std::free(e2);
        const bool marked = hasMark(marks[i]);
        if (!a || !g || a->map_state != XCB_MAP_STATE_VIEWABLE || a->_class != XCB_WINDOW_CLASS_INPUT_OUTPUT)
            continue;
        const int border = g->border_width;
        result.push_back({QRect(g->x, g->y, g->width + 2 * border, g->height + 2 * border), marked});
        if (!marked)
            unmarked.emplace_back(result.size() - 1, top[i]);
    }

    // A window manager puts each client inside a frame window of its own; the mark
    // sits on the client, a few levels down. Marking the frame hides the title bar too.
    std::vector<std::pair<std::size_t, xcb_window_t>> level = unmarked;
    for (int depth = 0; depth < 3 && !level.empty(); ++depth) {
        std::vector<std::pair<std::size_t, xcb_window_t>> next;
        std::vector<xcb_get_property_cookie_t> cookies;
        for (const auto& [index, window] : level) {
            for (xcb_window_t child : children(window)) {
                next.emplace_back(index, child);
                cookies.push_back(propertyCookie(child));
            }
        }
        for (std::size_t i = 0; i < next.size(); ++i)
            if (hasMark(cookies[i]))
                result[next[i].first].marked = true;
        std::erase_if(next, [&result](const auto& entry) { return result[entry.first].marked; });
        level = std::move(next);
    }
    return result;
}

QRegion XGrabber::maskRegion(const std::vector<Window>& bottomToTop, const QRect& area)
{
    QRegion region;
    for (const Window& w : bottomToTop) {
        if (w.marked)
            region += w.rect;
        else
            region -= w.rect;
    }
    return (region & area).translated(-area.topLeft());
}

QImage XGrabber::grab(const QRect& rect, Options options, double* hostTime)
{
    x_.checkAlive();
    // A marked window may be shown, hidden or moved while the pixels are read:
    // blacking out where marked windows stood both before and after the read
    // leaves none of them in the image.
    QRegion mask;
    if (options.maskExcluded)
        mask = maskRegion(windows(), rect);
    QImage image = read(rect);
    if (hostTime)
        *hostTime = MediaClock::now();
    if (options.maskExcluded) {
        mask += maskRegion(windows(), rect);
        for (const QRect& r : mask) {
            for (int y = r.top(); y <= r.bottom(); ++y) {
                auto* row = reinterpret_cast<uint32_t*>(image.scanLine(y));
                std::fill(row + r.left(), row + r.right() + 1, 0xff000000u);
            }
        }
        x_.checkAlive();
    }
    if (options.cursor && xfixes_)
        drawCursor(image, rect.topLeft());
    return image;
}
