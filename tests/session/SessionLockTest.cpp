// The live-session lock, between holders in this process and another process.
#include "session/Session.h"
#include "session/SessionLock.h"
#include "support/TestSupport.h"

#include <QProcess>
#include <gtest/gtest.h>

namespace {

std::shared_ptr<Session> finished(const QString& base, int minute)
{
    auto s = Session::create("t", "Screen", std::nullopt,
                             QDateTime(QDate(2025, 3, 4), QTime(9, minute, 0), QTimeZone::utc()), base);
    s->meta().ended = s->meta().started.addSecs(60);
    s->save();
    return s;
}

} // namespace

TEST(SessionLock, OneHolderAtATimeAndFreeOnceReleased)
{
    TempSupport support;
    const QString dir = support.path();
    SessionLock a;
    ASSERT_TRUE(a.acquire(dir));
    EXPECT_TRUE(SessionLock::isLocked(dir));
    SessionLock b;
    EXPECT_FALSE(b.acquire(dir));
    SessionLock moved = std::move(a);
    EXPECT_TRUE(moved.held());
    EXPECT_TRUE(SessionLock::isLocked(dir));
    moved.release();
    EXPECT_FALSE(SessionLock::isLocked(dir));
    EXPECT_TRUE(b.acquire(dir));
    // A folder that is not there is never live.
    EXPECT_FALSE(SessionLock::isLocked(support.file("missing")));
    EXPECT_FALSE(SessionLock().acquire(support.file("missing")));
}

TEST(SessionLock, PendingLeavesOutAFolderAnotherProcessHolds)
{
    TempSupport support;
    const auto idle = finished(support.path(), 1);
    const auto live = finished(support.path(), 2);

    // Another process holds the folder the way a recorder in another zelvan does;
    // the shell becomes the sleep, so killing it ends the holder.
    QProcess holder;
    holder.start("sh", {"-c", "exec 9<\"$0\"; flock -x 9; echo held; exec sleep 300", live->dir()});
    ASSERT_TRUE(holder.waitForReadyRead(30'000));
    ASSERT_EQ(holder.readAll(), "held\n");
    EXPECT_TRUE(SessionLock::isLocked(live->dir()));
    auto pending = Session::pending(support.path());
    ASSERT_EQ(pending.size(), 1u);
    EXPECT_EQ(pending[0]->dir(), idle->dir());

    // A holder that dies leaves the folder free.
    holder.kill();
    holder.waitForFinished();
    EXPECT_FALSE(SessionLock::isLocked(live->dir()));
    EXPECT_EQ(Session::pending(support.path()).size(), 2u);
}
