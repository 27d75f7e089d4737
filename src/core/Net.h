#pragma once

#include <QThreadPool>
#include <cstddef>
#include <functional>

namespace Net {
// The pool that runs blocking HTTP calls (8 threads), so that the main thread
// never waits on the network.
QThreadPool& pool();

// Runs task(i) for every i below count on the pool, at most `concurrency` at a
// time, each asker taking the next index when it is free, so a long list never
// holds the whole pool; then `done` once, on the thread that finished last.
// Tasks must not throw.
void each(std::size_t count, std::size_t concurrency, std::function<void(std::size_t)> task, std::function<void()> done);
} // namespace Net
