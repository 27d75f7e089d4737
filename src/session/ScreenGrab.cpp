#include "session/ScreenGrab.h"

#include "core/Log.h"
#include "platform/CaptureError.h"
#include "platform/ScreenCapture.h"
#include "session/Frames.h"

#include <QCoreApplication>
#include <QThreadPool>

namespace ScreenGrab {

void mainDisplay(Completion completion)
{
    QThreadPool::globalInstance()->start([completion = std::move(completion)]() mutable {
        std::optional<QByteArray> jpeg;
        try {
            jpeg = Frames::jpeg(ScreenCapture::grabPrimary(), 0.7, 1800);
        } catch (const CaptureError& e) {
            slog(QStringLiteral("screencapture: ") + e.message());
        }
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [completion = std::move(completion), jpeg = std::move(jpeg)] { completion(jpeg); }, Qt::QueuedConnection);
    });
}

} // namespace ScreenGrab
