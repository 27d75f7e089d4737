#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFuture>
#include <functional>

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
