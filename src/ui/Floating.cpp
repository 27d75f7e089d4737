#include "ui/Floating.h"

#include "platform/OwnWindows.h"

#include <QAbstractNativeEventFilter>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainterPath>
#include <QScreen>
#include <QTransform>
#include <QVBoxLayout>
#include <QtGui/qguiapplication_platform.h>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <xcb/shape.h>
#include <xcb/xcb.h>
#include <xcb/xfixes.h>

namespace {

// A press that travels less than this is a click, not a drag.
constexpr int dragThreshold = 3;

xcb_connection_t* x11()
{
    auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    auto* native = app ? app->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return native ? native->connection() : nullptr;
}

xcb_atom_t atom(xcb_connection_t* c, const QByteArray& name)
{
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 0, uint16_t(name.size()), name.constData()), nullptr);
    const xcb_atom_t a = reply ? reply->atom : XCB_NONE;
    std::free(reply);
    return a;
}

// Follows who owns the compositing manager's selection of the default screen,
// told by XFixes when it changes, and has the floating panels redo their shapes.
class CompositorWatch : public QAbstractNativeEventFilter {
public:
    static CompositorWatch& get()
    {
        static CompositorWatch* const watch = new CompositorWatch; // lives as long as the X connection
        return *watch;
    }

    bool active() const { return active_; }
    void add(FloatingPanel* panel)
    {
        std::erase_if(panels_, [](const QPointer<FloatingPanel>& p) { return !p; });
        panels_.emplace_back(panel);
    }

    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override
    {
        if (!c_ || xfixesEvent_ < 0 || type != "xcb_generic_event_t")
            return false;
        const auto* e = static_cast<const xcb_generic_event_t*>(message);
        if ((e->response_type & 0x7f) != xfixesEvent_ + XCB_XFIXES_SELECTION_NOTIFY)
            return false;
        if (reinterpret_cast<const xcb_xfixes_selection_notify_event_t*>(e)->selection != atom_)
            return false;
        const bool now = owned();
        if (now != active_) {
            active_ = now;
            for (const QPointer<FloatingPanel>& p : panels_)
                if (p)
                    p->reshape();
        }
        return false;
    }

private:
    CompositorWatch()
    {
        c_ = x11();
        if (!c_)
            return;
        int screen = 0, number = 0;
        char* host = nullptr;
        const QByteArray display = qgetenv("DISPLAY");
        if (!xcb_parse_display(display.constData(), &host, &number, &screen))
            screen = 0;
        std::free(host);
        xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c_));
        for (int i = 0; i < screen && it.rem; ++i)
            xcb_screen_next(&it);
        if (!it.rem)
            return;
        atom_ = atom(c_, "_NET_WM_CM_S" + QByteArray::number(screen));
        const xcb_query_extension_reply_t* ext = xcb_get_extension_data(c_, &xcb_xfixes_id);
        if (ext && ext->present) {
            std::free(xcb_xfixes_query_version_reply(c_, xcb_xfixes_query_version(c_, 5, 0), nullptr));
            xfixesEvent_ = ext->first_event;
            xcb_xfixes_select_selection_input(c_, it.data->root, atom_,
                                              XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER
                                                  | XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_WINDOW_DESTROY
                                                  | XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_CLIENT_CLOSE);
            xcb_flush(c_);
            QCoreApplication::instance()->installNativeEventFilter(this);
        }
        active_ = owned();
    }

    bool owned() const
    {
        xcb_get_selection_owner_reply_t* reply = xcb_get_selection_owner_reply(c_, xcb_get_selection_owner(c_, atom_),
                                                                               nullptr);
        const bool yes = reply && reply->owner != XCB_NONE;
        std::free(reply);
        return yes;
    }

    xcb_connection_t* c_ = nullptr;
    xcb_atom_t atom_ = XCB_NONE;
    int xfixesEvent_ = -1;
    bool active_ = true; // off X11 nothing draws black
    std::vector<QPointer<FloatingPanel>> panels_;
};

std::vector<xcb_rectangle_t> pixelRects(const QRegion& region, qreal dpr)
{
    const QRegion scaled = dpr == 1 ? region : QTransform::fromScale(dpr, dpr).map(region);
    std::vector<xcb_rectangle_t> out;
    for (const QRect& r : scaled)
        out.push_back({int16_t(r.x()), int16_t(r.y()), uint16_t(r.width()), uint16_t(r.height())});
    return out;
}

} // namespace

bool FloatingPanel::compositing()
{
    return CompositorWatch::get().active();
}

QRegion FloatingPanel::rounded(const QRect& r, qreal radius)
{
    QPainterPath path;
    path.addRoundedRect(QRectF(r), radius, radius);
    return QRegion(path.toFillPolygon().toPolygon(), Qt::WindingFill);
}

void FloatingPanel::setShape(Shape shape)
{
    shape_ = std::move(shape);
    applyShape();
}

QRegion FloatingPanel::shape() const
{
    return shape_ ? shape_() : QRegion(rect());
}

void FloatingPanel::reshape()
{
    applyShape();
    update();
}

void FloatingPanel::resizeEvent(QResizeEvent* e)
{
    QWidget::resizeEvent(e);
    applyShape();
}

void FloatingPanel::showEvent(QShowEvent* e)
{
    QWidget::showEvent(e);
    applied_ = false; // a new mapping: set it again
    applyShape();
}

void FloatingPanel::applyShape()
{
    xcb_connection_t* c = x11();
    if (!c || !testAttribute(Qt::WA_WState_Created))
        return;
    const xcb_query_extension_reply_t* ext = xcb_get_extension_data(c, &xcb_shape_id);
    if (!ext || !ext->present)
        return;
    const xcb_window_t w = xcb_window_t(winId());
    const QRegion painted = shape();
    const qreal dpr = devicePixelRatioF();
    // Clicks pass through a click-through panel everywhere: Qt keeps its input shape empty.
    if (!clickThrough_ && (!applied_ || painted != appliedInput_)) {
        const auto rects = pixelRects(painted, dpr);
        xcb_shape_rectangles(c, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_INPUT, XCB_CLIP_ORDERING_UNSORTED, w, 0, 0,
                             uint32_t(rects.size()), rects.data());
        appliedInput_ = painted;
    }
    // Without a compositor only the shape is drawn; with one the soft edges and
    // the shadow around it show.
    const bool bound = !compositing();
    if (!applied_ || bound != appliedBound_ || (bound && painted != appliedBounds_)) {
        if (!bound) {
            xcb_shape_mask(c, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_BOUNDING, w, 0, 0, XCB_NONE);
        } else {
            const auto rects = pixelRects(painted, dpr);
            xcb_shape_rectangles(c, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_BOUNDING, XCB_CLIP_ORDERING_UNSORTED, w, 0, 0,
                                 uint32_t(rects.size()), rects.data());
        }
        appliedBound_ = bound;
        appliedBounds_ = painted;
    }
    applied_ = true;
    xcb_flush(c);
}

FloatingPanel::FloatingPanel(bool clickThrough)
    : clickThrough_(clickThrough)
{
    // Our windows never show in our own recordings, whoever made the application.
    OwnWindows::install();
    Qt::WindowFlags flags = Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus
        | Qt::NoDropShadowWindowHint;
    // Unmanaged when clicks pass through: a window manager's frame around it
    // (openbox gives every managed window one) would take the clicks itself.
    if (clickThrough)
        flags |= Qt::WindowTransparentForInput | Qt::X11BypassWindowManagerHint;
    setWindowFlags(flags);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_TransparentForMouseEvents, clickThrough);
    setFocusPolicy(Qt::NoFocus);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    // The owner sizes the panel, in one step with its place; the layout never
    // grows the window on its own on the way.
    layout->setSizeConstraint(QLayout::SetNoConstraint);

    fade_.setStartValue(0.0);
    fade_.setEndValue(1.0);
    connect(&fade_, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) { setWindowOpacity(v.toReal()); });
    connect(&fade_, &QVariantAnimation::finished, this, [this] {
        if (hideAfterFade_)
            hide();
    });

    winId(); // the native window now, so its desktop is set before it is first mapped
    markAllDesktops();
    CompositorWatch::get().add(this);
    applyShape();
}

std::vector<ScreenArea> FloatingPanel::screens()
{
    std::vector<ScreenArea> out;
    QScreen* primary = QGuiApplication::primaryScreen();
    if (primary)
        out.push_back({primary->geometry(), primary->availableGeometry()});
    for (QScreen* s : QGuiApplication::screens())
        if (s != primary)
            out.push_back({s->geometry(), s->availableGeometry()});
    return out;
}

void FloatingPanel::markAllDesktops()
{
    xcb_connection_t* c = x11();
    if (!c)
        return;
    static const char name[] = "_NET_WM_DESKTOP";
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(std::strlen(name)), name),
                                                           nullptr);
    if (reply) {
        const uint32_t all = 0xFFFFFFFF;
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, xcb_window_t(winId()), reply->atom, XCB_ATOM_CARDINAL, 32, 1,
                            &all);
        std::free(reply);
    }
}

void FloatingPanel::setContent(QWidget* content)
{
    if (content_)
        content_->deleteLater();
    content_ = content;
    layout()->addWidget(content);
}

QSize FloatingPanel::fittingSize() const
{
    if (!content_)
        return {};
    // Settle pending layout changes first, or the panel keeps the old minimum.
    if (content_->layout())
        content_->layout()->activate();
    layout()->activate();
    return content_->sizeHint();
}

void FloatingPanel::fadeIn(double seconds)
{
    fade_.stop();
    hideAfterFade_ = false;
    setWindowOpacity(0);
    show();
    fade_.setStartValue(0.0);
    fade_.setEndValue(1.0);
    fade_.setDuration(std::max(1, int(std::lround(seconds * 1000))));
    fade_.start();
}

void FloatingPanel::fadeOut(double seconds)
{
    fade_.stop();
    hideAfterFade_ = true;
    fade_.setStartValue(windowOpacity());
    fade_.setEndValue(0.0);
    fade_.setDuration(std::max(1, int(std::lround(seconds * 1000))));
    fade_.start();
}

void FloatingPanel::mousePressEvent(QMouseEvent* e)
{
    if (e->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(e);
    // The margin is not ours (the input shape keeps it from us where X has shapes).
    if (!shape().contains(e->position().toPoint())) {
        e->ignore();
        return;
    }
    pressed_ = true;
    moved_ = false;
    pressAt_ = e->globalPosition().toPoint();
    originAtPress_ = pos();
    e->accept();
}

void FloatingPanel::mouseMoveEvent(QMouseEvent* e)
{
    if (!pressed_ || !draggable_)
        return;
    const QPoint delta = e->globalPosition().toPoint() - pressAt_;
    if (!moved_ && delta.manhattanLength() < dragThreshold)
        return;
    moved_ = true;
    move(originAtPress_ + delta);
}

void FloatingPanel::mouseReleaseEvent(QMouseEvent* e)
{
    if (!pressed_ || e->button() != Qt::LeftButton)
        return;
    pressed_ = false;
    if (moved_)
        emit dragged();
    else
        emit tapped();
}
