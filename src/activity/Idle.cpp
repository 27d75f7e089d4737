#include "activity/Idle.h"

#include "core/Log.h"
#include "platform/InputIdle.h"

#include <atomic>

namespace Idle {

double seconds()
{
    QString why;
    if (const auto s = InputIdle::seconds(&why))
        return *s;
    // Asked every 15 s: one line is enough to explain why nobody is ever away.
    static std::atomic_bool logged = false;
    if (!logged.exchange(true))
        slog(QStringLiteral("idle: ") + why + QStringLiteral("; counting the user as active"));
    return 0;
}

} // namespace Idle
