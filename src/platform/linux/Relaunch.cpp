#include "platform/Relaunch.h"

#include "platform/SystemLog.h"

#include <QString>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace Relaunch {

void withEnvironment(const char* name, const char* value, char** argv)
{
    const char* current = std::getenv(name);
    if (current && *current)
        return;
    if (::setenv(name, value, 1) != 0)
        return;
    // The new run finds the variable set, so this happens once.
    ::execv("/proc/self/exe", argv);
    SystemLog::write(QStringLiteral("relaunch: could not restart with %1=%2: %3")
                         .arg(QString::fromLocal8Bit(name), QString::fromLocal8Bit(value),
                              QString::fromLocal8Bit(std::strerror(errno))));
}

} // namespace Relaunch
