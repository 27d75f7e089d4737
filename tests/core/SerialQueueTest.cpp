#include "core/SerialQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <vector>

TEST(SerialQueue, RunsTasksOneAtATimeInOrder)
{
    SerialQueue q("test.order");
    std::vector<int> seen; // touched only on the queue
    std::atomic<int> running{0};
    bool overlapped = false;
    for (int i = 0; i < 500; ++i) {
        q.async([&, i] {
            if (running.fetch_add(1) != 0)
                overlapped = true;
            seen.push_back(i);
            running.fetch_sub(1);
        });
    }
    q.drain();
    ASSERT_EQ(seen.size(), 500u);
    for (int i = 0; i < 500; ++i)
        EXPECT_EQ(seen[size_t(i)], i);
    EXPECT_FALSE(overlapped);
}

TEST(SerialQueue, SyncReturnsResultsAndRethrows)
{
    SerialQueue q("test.sync");
    EXPECT_EQ(q.sync([] { return 42; }), 42);
    EXPECT_TRUE(q.sync([&] { return q.isCurrent(); }));
    EXPECT_THROW(q.sync([]() -> int { throw std::runtime_error("boom"); }), std::runtime_error);
    // The queue still works after a failed task.
    EXPECT_EQ(q.sync([] { return 7; }), 7);
}

TEST(SerialQueue, SyncFromInsideTheQueueRunsInPlace)
{
    SerialQueue q("test.nested");
    const int v = q.sync([&] { return q.sync([] { return 5; }) + 1; });
    EXPECT_EQ(v, 6);
}

TEST(SerialQueue, AsyncTaskThatThrowsDoesNotStopTheQueue)
{
    SerialQueue q("test.throw");
    q.async([] { throw std::runtime_error("ignored"); });
    EXPECT_EQ(q.sync([] { return 1; }), 1);
}

TEST(SerialQueue, DestructionRunsWhatIsStillQueued)
{
    std::atomic<int> ran{0};
    {
        SerialQueue q("test.dtor");
        q.async([] { std::this_thread::sleep_for(std::chrono::milliseconds(20)); });
        for (int i = 0; i < 10; ++i)
            q.async([&] { ran++; });
    }
    EXPECT_EQ(ran.load(), 10);
}

TEST(SerialQueue, DestroyingAQueueFromItsOwnTaskStopsTheProcessCleanly)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            auto* q = new SerialQueue("test.self");
            q->sync([q] { delete q; });
        },
        "cannot be destroyed from its own task");
}
