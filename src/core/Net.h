#pragma once

#include <QThreadPool>

namespace Net {
// The pool that runs blocking HTTP calls (8 threads), so that the main thread
// never waits on the network.
QThreadPool& pool();
} // namespace Net
