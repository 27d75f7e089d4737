#pragma once

#include "app/AppController.h"
#include "app/Fakes.h"
#include "core/Keychain.h"
#include "core/Log.h"
#include "core/WebPlatform.h"
#include "session/FakeCapture.h"
#include "support/FakePlatform.h"
#include "support/FakeWebPlatform.h"
#include "support/TestSupport.h"

#include <QJsonArray>
#include <QUuid>
#include <gtest/gtest.h>

// A controller on fakes, beside a fake web platform on 127.0.0.1 whose
// account, projects and to-dos it reaches over real HTTP.
// The listening pill's texts, in order.
class ShownPill final : public Ports::VoicePill {
public:
    void show(bool, const QString& text, std::optional<double>) override { texts.push_back(text); }
    std::vector<QString> texts;
};

class ControllerFixture : public testing::Test {
public:
    TempSupport support;
    FixedClock clock;
    FakePlatform fake;
    std::unique_ptr<FakeWebPlatform> web;
    std::unique_ptr<Settings> settings;
    std::unique_ptr<Accounts> accounts;
    FakeScheduler scheduler;
    FakeWorker worker;
    FakeStatusItem item;
    FakeApplication application;
    FakeNudges nudges;
    FakeHotKeys hotKeys;
    FakeMenu menu;
    FakeBoard board;
    FakeDevices devices;
    FakeWindowBox* windows = nullptr;
    ShownPill* pill = nullptr;
    std::shared_ptr<AppController> c;

    // Test programs run side by side: each gets a settings suite and a keyring
    // service of its own, so one test's sign-out never removes another's key.
    const QString suite = "app-flow-test-" + QUuid::createUuid().toString(QUuid::WithoutBraces);
    QString previousService;

    void SetUp() override
    {
        qputenv("ZELVAN_NO_BROWSER", "1");
        previousService = Keychain::service();
        Keychain::setService("zelvan-menu-test-" + QUuid::createUuid().toString(QUuid::WithoutBraces));
        web = std::make_unique<FakeWebPlatform>(fake);
        fake.start();
        fresh();
    }

    // A new controller over empty preferences, signed out.
    void fresh()
    {
        c.reset();
        if (accounts)
            accounts->signOut();
        accounts.reset();
        settings.reset();
        Settings::suite(suite)->clear();
        settings = std::make_unique<Settings>(Settings::suite(suite));
        accounts = std::make_unique<Accounts>(*settings);
        settings->setPlatformBase(fake.base());
        board.calls.clear();
        nudges.shown.clear();
        AppPorts p = AppPorts::standIns(scheduler, worker, item, application);
        p.windows = [this] {
            auto box = std::make_unique<FakeWindowBox>();
            windows = box.get();
            return box;
        };
        p.pill = [this] {
            auto made = std::make_unique<ShownPill>();
            pill = made.get();
            return made;
        };
        p.nudges = &nudges;
        p.hotKeys = &hotKeys;
        p.menu = &menu;
        p.board = &board;
        p.devices = &devices;
        p.workdayDir = support.file("workday");
        c = AppController::create(*accounts, std::move(p), {"zelvan"});
    }

    void TearDown() override
    {
        c.reset();
        accounts->signOut();
        Settings::suite(suite)->clear();
        Keychain::setService(previousService);
    }

    // Signed in as the fake platform's account, with its two projects.
    void signIn()
    {
        ASSERT_TRUE(accounts->signIn(QString::fromStdString(web->options().key), "ada@example.com", "Ada Lovelace"));
        std::vector<Workspace> projects;
        for (const auto& p : web->options().projects)
            projects.push_back(WebPlatform::project(fake.base(), QString::fromStdString(p.slug),
                                                    QString::fromStdString(p.name), QString::fromStdString(p.seat)));
        settings->setProjects(projects);
    }

    static QJsonArray todoItems(std::initializer_list<std::pair<const char*, const char*>> items)
    {
        QJsonArray out;
        for (const auto& [id, status] : items)
            out.append(QJsonObject{{"id", id}, {"title", QString("Do ") + id}, {"status", status}});
        return out;
    }

    // Refreshes the to-dos and waits for the menu that follows.
    void loadTodos()
    {
        const int before = menu.rebuilds;
        c->refreshTodos();
        ASSERT_TRUE(waitFor([&] { return menu.rebuilds > before; }));
    }

    QStringList logLines()
    {
        slogFlush();
        QStringList lines;
        for (const QString& line :
             QString::fromUtf8(readFile(support.file("zelvan.log"))).split('\n', Qt::SkipEmptyParts))
            lines << line.mid(21); // after "yyyy-MM-dd HH:mm:ss  "
        return lines;
    }
};
