#include "board/GlShare.h"

#include <QGuiApplication>
#include <QOpenGLContext>
#include <QSurfaceFormat>

// The global share context is Qt's own; WebEngine reaches it the same way.
QT_BEGIN_NAMESPACE
Q_GUI_EXPORT void qt_gl_set_global_share_context(QOpenGLContext* context);
Q_GUI_EXPORT QOpenGLContext* qt_gl_global_share_context();
QT_END_NAMESPACE

namespace GlShare {

void defer()
{
    if (qt_gl_global_share_context())
        return;
    // Lives as long as the process: WebEngine's contexts share with it until the end.
    qt_gl_set_global_share_context(new QOpenGLContext);
}

void ready()
{
    QOpenGLContext* context = qt_gl_global_share_context();
    if (!context || context->isValid())
        return;
    // Made before the application object, it has no screen yet.
    context->setScreen(QGuiApplication::primaryScreen());
    context->setFormat(QSurfaceFormat::defaultFormat());
    context->create();
}

bool made()
{
    const QOpenGLContext* context = qt_gl_global_share_context();
    return context && context->isValid();
}

} // namespace GlShare
