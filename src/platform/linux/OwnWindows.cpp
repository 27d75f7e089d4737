#include "platform/OwnWindows.h"

#include "platform/ScreenCapture.h"

#include <QGuiApplication>
#include <QPlatformSurfaceEvent>
#include <QPointer>
#include <QWindow>
#include <QtGui/qguiapplication_platform.h>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <xcb/xcb.h>

namespace {

xcb_connection_t* qtConnection()
{
    auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    auto* x11 = app ? app->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

// Sets the mark on Qt's own connection, so that it reaches the server after the
// window is made and before it is mapped.
class Marker : public QObject {
public:
    explicit Marker(xcb_connection_t* c)
        : QObject(QCoreApplication::instance())
        , c_(c)
    {
        const char* name = ScreenCapture::excludeProperty;
        xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(c_,
                                                               xcb_intern_atom(c_, 0, uint16_t(std::strlen(name)), name),
                                                               nullptr);
        atom_ = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
        std::free(reply);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::PlatformSurface
            && static_cast<QPlatformSurfaceEvent*>(event)->surfaceEventType() == QPlatformSurfaceEvent::SurfaceCreated) {
            auto* window = qobject_cast<QWindow*>(watched);
            // Child windows go with their top-level one; windows of other programs
            // wrapped in a QWindow are not ours to mark.
            if (window && window->isTopLevel() && window->type() != Qt::ForeignWindow && atom_ != XCB_ATOM_NONE) {
                const uint32_t one = 1;
                xcb_change_property(c_, XCB_PROP_MODE_REPLACE, xcb_window_t(window->winId()), atom_, XCB_ATOM_CARDINAL,
                                    32, 1, &one);
            }
        }
        return false;
    }

private:
    xcb_connection_t* c_;
    xcb_atom_t atom_ = XCB_ATOM_NONE;
};

} // namespace

namespace OwnWindows {

void install()
{
    static QPointer<Marker> marker;
    if (marker)
        return;
    xcb_connection_t* c = qtConnection();
    if (!c)
        return;
    marker = new Marker(c);
    QCoreApplication::instance()->installEventFilter(marker);
}

void sync()
{
    if (xcb_connection_t* c = qtConnection())
        std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
}

void waitOffScreen(QWindow* window)
{
    xcb_connection_t* c = qtConnection();
    if (!c || !window || !window->handle())
        return;
    const auto w = xcb_window_t(window->winId());
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    for (;;) {
        // What shows of the window is its ancestor right below the root: the window
        // manager's frame while it keeps one, else the window itself.
        xcb_window_t top = w;
        for (;;) {
            xcb_query_tree_reply_t* tree = xcb_query_tree_reply(c, xcb_query_tree(c, top), nullptr);
            if (!tree)
                return; // destroyed
            const xcb_window_t parent = tree->parent;
            const xcb_window_t root = tree->root;
            std::free(tree);
            if (parent == root || parent == XCB_WINDOW_NONE)
                break;
            top = parent;
        }
        xcb_get_window_attributes_reply_t* a = xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, top),
                                                                               nullptr);
        const bool shown = a && a->map_state != XCB_MAP_STATE_UNMAPPED;
        std::free(a);
        if (!shown || std::chrono::steady_clock::now() >= deadline)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

} // namespace OwnWindows
