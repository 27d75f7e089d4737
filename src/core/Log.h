#pragma once

#include <QString>

// The one logger. Writes "[Zelvan] message" to the system log on the caller's
// thread, then hands "yyyy-MM-dd HH:mm:ss  message\n" to the log queue, which
// appends it to the support folder's "zelvan.log". Never blocks on the disk and
// never fails. Callers put a short topic first ("sign-in: started"); no secret
// value is ever passed in.
void slog(const QString& message);

// Waits until every line handed over so far is in the file. Used at exit and by tests.
void slogFlush();

namespace Log {
// A log file above this many bytes becomes "zelvan.log.1" (replacing the one
// before) before the next line starts a new file.
constexpr qint64 maxBytes = 1'000'000;

// Text from outside (a server's answer, a window title, an error description)
// with its control characters and line breaks turned into spaces, so that it
// cannot start a log line of its own.
QString oneLine(QString text);
} // namespace Log
