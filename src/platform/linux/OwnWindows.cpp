#include "platform/OwnWindows.h"

#include "platform/ScreenCapture.h"

#include <QGuiApplication>
#include <QPlatformSurfaceEvent>
#include <QPointer>
#include <QWindow>
#include <QtGui/qguiapplication_platform.h>
#include <cstdlib>
#include <cstring>
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

} // namespace OwnWindows
