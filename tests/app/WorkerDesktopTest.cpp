// The controller's real worker on the private desktop: a real recording while
// the network hangs.
#include "app/AppController.h"
#include "app/Fakes.h"
#include "app/QtPorts.h"
#include "core/Paths.h"
#include "session/Session.h"
#include "support/FakePlatform.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QScopeGuard>
#include <QThreadPool>
#include <QUuid>
#include <gtest/gtest.h>

TEST(WorkerDesktop, WrapUpStopsTheCaptureWhileEveryRequestHangs)
{
    TempSupport support;
    // A small machine: two threads in Qt's shared pool.
    QThreadPool::globalInstance()->setMaxThreadCount(2);
    auto restore = qScopeGuard([] { QThreadPool::globalInstance()->setMaxThreadCount(QThread::idealThreadCount()); });

    FakePlatform platform;
    FakePlatform::Gate gate;
    platform.route("GET", "/api/calls/.*", [hold = gate.hold()](const httplib::Request&, httplib::Response& res) {
        hold();
        FakePlatform::reply(res, 200, "{}");
    });
    platform.start();

    Settings settings(Settings::suite("worker-desktop-" + QUuid::createUuid().toString(QUuid::WithoutBraces)));
    Accounts accounts(settings);
    QtScheduler scheduler;
    QtWorker worker;
    FakeStatusItem item;
    FakeApplication application;
    AppPorts ports = AppPorts::standIns(scheduler, worker, item, application);
    ports.workdayDir = support.file("workday");
    auto c = AppController::create(accounts, std::move(ports), {"zelvan"});
    c->launch();
    c->startRecording();
    ASSERT_TRUE(waitFor([&] { return c->recorder != nullptr || !c->starting; }, 120));
    ASSERT_TRUE(c->recorder) << "the recording did not start";
    const QString dir = Paths::recordings() + '/'
        + QDir(Paths::recordings()).entryList(QDir::Dirs | QDir::NoDotAndDotDot).value(0);

    // More hung review polls than the network has threads.
    const API api(platform.base(), "zv_key");
    for (int i = 0; i < 12; ++i)
        c->watchReview(QString("rec:%1").arg(i), api, std::nullopt, std::nullopt, "Call");
    c->pollReviews();
    ASSERT_TRUE(waitFor([&] { return gate.waiting() >= 2; }, 60));

    c->stopRecording();
    ASSERT_TRUE(waitFor([&] { return !c->saving; }, 120));
    EXPECT_GE(gate.waiting(), 2) << "the requests were answered meanwhile";
    const QStringList log = logLines();
    EXPECT_FALSE(log.filter("recording stopped: ").isEmpty()) << log.join('\n').toStdString();
    EXPECT_TRUE(log.filter("stop made no progress").isEmpty());
    auto session = Session::load(dir);
    ASSERT_TRUE(session);
    EXPECT_TRUE(session->meta().ended);
    EXPECT_FALSE(session->meta().lastError);

    gate.open();
    c.reset();
}
