#include "core/Net.h"

#include <algorithm>
#include <memory>
#include <mutex>

namespace Net {

QThreadPool& pool()
{
    static QThreadPool* const instance = [] {
        auto* p = new QThreadPool; // lives until exit: calls may still run while statics go
        p->setMaxThreadCount(8);
        p->setObjectName(QStringLiteral("zelvan.net"));
        return p;
    }();
    return *instance;
}

void each(std::size_t count, std::size_t concurrency, std::function<void(std::size_t)> task, std::function<void()> done)
{
    struct Shared {
        std::function<void(std::size_t)> task;
        std::function<void()> done;
        std::mutex mutex;
        std::size_t count = 0;
        std::size_t next = 0;   // the next index to take
        std::size_t asking = 0; // askers still running
    };
    auto shared = std::make_shared<Shared>();
    shared->task = std::move(task);
    shared->done = std::move(done);
    shared->count = count;
    shared->asking = std::min(count, std::max<std::size_t>(concurrency, 1));
    if (shared->asking == 0) {
        shared->done();
        return;
    }
    for (std::size_t n = shared->asking; n > 0; --n) {
        pool().start([shared] {
            for (;;) {
                std::size_t i = 0;
                {
                    std::lock_guard lock(shared->mutex);
                    if (shared->next == shared->count)
                        break;
                    i = shared->next++;
                }
                shared->task(i);
            }
            {
                std::lock_guard lock(shared->mutex);
                if (--shared->asking > 0)
                    return;
            }
            shared->done();
        });
    }
}

} // namespace Net
