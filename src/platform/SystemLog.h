#pragma once

#include <QString>

// The desktop's system log: standard error plus syslog(3). Each entry is
// "[Zelvan] " and the message.
namespace SystemLog {
void write(const QString& message);
}
