#include "platform/SystemLog.h"

#include "platform/FileIO.h"

#include <mutex>
#include <syslog.h>
#include <unistd.h>

namespace SystemLog {

void write(const QString& message)
{
    static std::once_flag opened;
    std::call_once(opened, [] { openlog("zelvan", LOG_PID, LOG_USER); });

    const QByteArray text = message.toUtf8();
    // The message is an argument, never the format, so a "%" in it prints as it is.
    syslog(LOG_INFO, "[Zelvan] %s", text.constData());

    // One write per entry keeps lines from several threads whole on the terminal.
    const QByteArray line = "[Zelvan] " + text + '\n';
    FileIO::writeAll(STDERR_FILENO, line.constData(), size_t(line.size()));
}

} // namespace SystemLog
