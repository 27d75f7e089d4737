#pragma once

#include "activity/WorkSpan.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QFuture>
#include <QString>
#include <functional>
#include <ostream>

// Runs the event loop until `done` holds. The deadline only guards against a hang.
inline bool waitUntil(const std::function<bool()>& done)
{
    QDeadlineTimer deadline(60'000);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

// Until the future is finished: its results are applied on the main thread.
template <class T>
bool settle(const QFuture<T>& future)
{
    return waitUntil([&] { return future.isFinished(); });
}

// Readable failures.
inline void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}

inline void PrintTo(const QDateTime& d, std::ostream* os)
{
    *os << d.toUTC().toString(Qt::ISODateWithMs).toStdString();
}

inline void PrintTo(const WorkSpan& s, std::ostream* os)
{
    *os << s.app.toStdString() << " [" << s.start.toUTC().toString(Qt::ISODateWithMs).toStdString() << ", "
        << s.end.toUTC().toString(Qt::ISODateWithMs).toStdString() << "]"
        << (s.title ? " " + s.title->toStdString() : std::string());
}
