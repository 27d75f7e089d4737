// A plain `kill` during a real recording on the private desktop.
#include "app/AppController.h"
#include "app/Fakes.h"
#include "app/QtPorts.h"
#include "app/QuitSignals.h"
#include "session/SessionLock.h"
#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <csignal>
#include <gtest/gtest.h>

namespace {

bool waitUntil(const std::function<bool()>& done)
{
    QElapsedTimer waited;
    waited.start();
    while (!done() && waited.elapsed() < 120'000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 100);
    return done();
}

} // namespace

TEST(QuitDesktop, SigtermDuringARecordingLeavesAFinishedSession)
{
    TempSupport support;
    Settings settings(Settings::suite("quit-desktop-test"));
    Accounts accounts(settings);
    QtScheduler scheduler;
    QtWorker worker;
    FakeStatusItem item;
    FakeApplication application;
    AppPorts ports = AppPorts::standIns(scheduler, worker, item, application);
    ports.workdayDir = support.file("workday");
    auto c = AppController::create(accounts, std::move(ports), {"zelvan"});
    std::weak_ptr<AppController> weak = c;
    QuitSignals quit([weak] {
        if (auto self = weak.lock())
            self->requestQuit();
    });
    c->launch();
    c->startRecording();
    ASSERT_TRUE(waitUntil([&] { return c->recorder != nullptr || !c->starting; }));
    ASSERT_TRUE(c->recorder) << "the recording did not start";
    const QString dir = Paths::recordings() + '/'
        + QDir(Paths::recordings()).entryList(QDir::Dirs | QDir::NoDotAndDotDot).value(0);
    EXPECT_TRUE(SessionLock::isLocked(dir));

    ::raise(SIGTERM);
    ASSERT_TRUE(waitUntil([&] { return application.terminated > 0; }));
    auto session = Session::load(dir);
    ASSERT_TRUE(session);
    EXPECT_TRUE(session->meta().ended);
    EXPECT_FALSE(session->meta().lastError);
    EXPECT_FALSE(SessionLock::isLocked(dir));
    EXPECT_EQ(Session::pending().size(), 1u);
}
