#include "ui/Floating.h"

#include "platform/OwnWindows.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QScreen>
#include <QVBoxLayout>
#include <QtGui/qguiapplication_platform.h>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <xcb/xcb.h>

namespace {

// A press that travels less than this is a click, not a drag.
constexpr int dragThreshold = 3;

xcb_connection_t* x11()
{
    auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    auto* native = app ? app->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return native ? native->connection() : nullptr;
}

} // namespace

FloatingPanel::FloatingPanel(bool clickThrough)
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

    fade_.setStartValue(0.0);
    fade_.setEndValue(1.0);
    connect(&fade_, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) { setWindowOpacity(v.toReal()); });
    connect(&fade_, &QVariantAnimation::finished, this, [this] {
        if (hideAfterFade_)
            hide();
    });

    winId(); // the native window now, so its desktop is set before it is first mapped
    markAllDesktops();
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
