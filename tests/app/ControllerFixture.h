#pragma once

#include "AppFixture.h"

#include "core/WebPlatform.h"
#include "session/FakeCapture.h"
#include "support/FakePlatform.h"
#include "support/FakeWebPlatform.h"

#include <QJsonArray>

// The listening pill's texts, in order.
class ShownPill final : public Ports::VoicePill {
public:
    void show(bool, const QString& text, std::optional<double>) override { texts.push_back(text); }
    std::vector<QString> texts;
};

// A controller on fakes, beside a fake web platform on 127.0.0.1 whose
// account, projects and to-dos it reaches over real HTTP.
class ControllerFixture : public AppFixture {
public:
    FakePlatform fake;
    std::unique_ptr<FakeWebPlatform> web;
    FakeNudges nudges;
    FakeHotKeys hotKeys;
    FakeMenu menu;
    FakeBoard board;
    FakeDevices devices;
    FakeWindowBox* windows = nullptr;
    ShownPill* pill = nullptr;
    std::shared_ptr<AppController> c;

    void SetUp() override
    {
        qputenv("ZELVAN_NO_BROWSER", "1");
        web = std::make_unique<FakeWebPlatform>(fake);
        fake.start();
        fresh();
    }

    // A new controller over empty preferences, signed out.
    void fresh()
    {
        c.reset();
        accounts->signOut();
        accounts.reset();
        settings.reset();
        Settings::suite(suite)->clear();
        settings = std::make_unique<Settings>(Settings::suite(suite));
        accounts = std::make_unique<Accounts>(*settings);
        settings->setPlatformBase(fake.base());
        board.calls.clear();
        nudges.shown.clear();
        AppPorts p = ports();
        p.windows = noting(windows);
        p.pill = noting(pill);
        p.nudges = &nudges;
        p.hotKeys = &hotKeys;
        p.menu = &menu;
        p.board = &board;
        p.devices = &devices;
        c = AppController::create(*accounts, std::move(p), {"zelvan"});
    }

    void TearDown() override
    {
        c.reset();
        accounts->signOut();
        Settings::suite(suite)->clear();
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
};
