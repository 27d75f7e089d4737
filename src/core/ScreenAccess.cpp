#include "core/ScreenAccess.h"

#include "core/Log.h"
#include "platform/CaptureError.h"
#include "platform/ScreenCapture.h"

namespace ScreenAccess {

bool works()
{
    try {
        ScreenCapture::probe();
        return true;
    } catch (const CaptureError& e) {
        slog(QStringLiteral("screen access probe: ") + e.description());
        return false;
    }
}

} // namespace ScreenAccess
