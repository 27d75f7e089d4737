#include "session/ScreenGrab.h"

#include "core/Log.h"
#include "platform/ScreenCapture.h"
#include "session/Frames.h"

#include <QCoreApplication>
#include <QThreadPool>
#include <exception>

namespace ScreenGrab {

void mainDisplay(Completion completion)
{
    QThreadPool::globalInstance()->start([completion = std::move(completion)]() mutable {
        std::optional<QByteArray> jpeg;
        try {
            jpeg = Frames::jpeg(ScreenCapture::grabPrimary(), 0.7, 1800);
        } catch (const std::exception& e) {
            // Whatever failed, the task must not end the process and the caller still hears back.
            slog(QStringLiteral("screencapture: ") + QString::fromUtf8(e.what()));
        }
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [completion = std::move(completion), jpeg = std::move(jpeg)] { completion(jpeg); }, Qt::QueuedConnection);
    });
}

} // namespace ScreenGrab
