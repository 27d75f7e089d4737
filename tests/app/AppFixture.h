#pragma once

// What every test of the controller stands on: a throw-away support folder and
// settings suite, a clock the test moves, a keyring service of its own, and
// fakes of the scheduler, the worker, the status item and the application.
#include "app/AppController.h"
#include "app/Fakes.h"
#include "core/Log.h"
#include "core/Paths.h"
#include "support/TestSupport.h"

#include <QUuid>
#include <gtest/gtest.h>

class AppFixture : public testing::Test {
public:
    // Stand-ins for every port but the fakes below; the work day in the support folder.
    AppPorts ports()
    {
        AppPorts p = AppPorts::standIns(scheduler, worker, item, application);
        p.workdayDir = support.file("workday");
        return p;
    }

    // A port factory that makes a T and lets the test reach it through `made`.
    template <class T>
    static auto noting(T*& made)
    {
        return [&made] {
            auto object = std::make_unique<T>();
            made = object.get();
            return object;
        };
    }

    TempSupport support;
    FixedClock clock;
    PrivateKeyring keyring;
    const QString suite = "app-test-" + QUuid::createUuid().toString(QUuid::WithoutBraces);
    std::unique_ptr<Settings> settings = std::make_unique<Settings>(Settings::suite(suite));
    std::unique_ptr<Accounts> accounts = std::make_unique<Accounts>(*settings);
    FakeScheduler scheduler;
    FakeWorker worker;
    FakeStatusItem item;
    FakeApplication application;
};
