#pragma once

// The controller's flows with fakes of our own ports, a fake scheduler and a
// clock the test moves; the platform is the fake server over real HTTP, the
// account key lives in the private desktop's keyring.
#include "AppFixture.h"

#include "core/WebPlatform.h"
#include "session/FakeCapture.h"
#include "support/FakePlatform.h"
#include "support/WorkspaceServer.h"

#include <QJsonDocument>

// Nudges with one card on screen, as the real panel keeps it.
class ScreenNudges final : public Ports::Nudges {
public:
    void show(Card card) override
    {
        on = card.kind;
        shown.push_back(std::move(card));
    }
    void dismiss(const QString& kind) override
    {
        dismissed << kind;
        if (on == kind)
            on.reset();
    }
    std::optional<QString> current() const override { return on; }
    const Card* last(const QString& kind) const
    {
        for (auto it = shown.rbegin(); it != shown.rend(); ++it)
            if (it->kind == kind)
                return &*it;
        return nullptr;
    }
    QStringList kinds() const
    {
        QStringList out;
        for (const Card& c : shown)
            out << c.kind;
        return out;
    }
    // Taps a button by title: the card goes, then its action runs.
    void tap(const QString& kind, const QString& title)
    {
        const Card* card = last(kind);
        ASSERT_TRUE(card) << kind.toStdString();
        for (const Button& b : card->buttons)
            if (b.title == title) {
                auto action = b.action;
                on.reset();
                if (action)
                    action();
                return;
            }
        FAIL() << "no button " << title.toStdString();
    }
    std::optional<QString> on;
    std::vector<Card> shown;
    QStringList dismissed;
};

// A listener that hears what the test says.
class ScriptedVoice final : public Ports::VoiceListener {
public:
    void authorize(std::function<void(bool, const QString&)> done) override { done(granted, refusal); }
    void start() override
    {
        if (failStart)
            throw APIError(0, "no microphone");
        on = true;
        ++starts;
    }
    void stop(std::function<void(const QString&)> done) override
    {
        on = false;
        ++stops;
        finish = std::move(done);
    }
    bool listening() const override { return on; }
    QString text() const override { return heard; }
    // The final transcription arrives.
    void deliver(const QString& text)
    {
        auto f = std::move(finish);
        finish = nullptr;
        if (f)
            f(text);
    }
    bool granted = true;
    QString refusal;
    bool failStart = false;
    bool on = false;
    int starts = 0, stops = 0;
    QString heard;
    std::function<void(const QString&)> finish;
};

class PillLog final : public Ports::VoicePill {
public:
    struct Shown {
        bool listening;
        QString text;
        std::optional<double> hideAfter;
    };
    void show(bool listening, const QString& text, std::optional<double> hideAfter) override
    {
        shown.push_back({listening, text, hideAfter});
        visible = true;
    }
    void update(const QString& text) override { updates << text; }
    void hide() override { visible = false; }
    std::vector<Shown> shown;
    QStringList updates;
    bool visible = false;
};

class WrapWindows final : public Ports::WindowBox {
public:
    void showWrap(std::shared_ptr<WrapModel> m, std::function<void()> onClosed) override
    {
        model = std::move(m);
        closed = std::move(onClosed);
    }
    std::shared_ptr<WrapModel> model;
    std::function<void()> closed;
};

class FakeGrabs final : public Ports::Grabs {
public:
    void selectRegion(Completion done) override
    {
        ++selections;
        region = std::move(done);
    }
    std::optional<QString> askNote(const QByteArray&, bool recording) override
    {
        askedWhileRecording = recording;
        if (duringNote)
            duringNote();
        return note;
    }
    void mainDisplay(Completion done) override { screen = std::move(done); }
    int selections = 0;
    Completion region, screen;
    std::optional<QString> note = QString();
    std::optional<bool> askedWhileRecording;
    std::function<void()> duringNote;
};

class BoardLog final : public Ports::Board {
public:
    void openDeepLink(const QString&) override {}
    void show() override {}
    void signedIn() override {}
    void open(const QUrl& url) override { opened << url.toString(); }
    QStringList opened;
};

class NotifyLog final : public Ports::Notify {
public:
    void setup() override {}
    void reviewReady(const QString& id, const QString& title, int n, const std::optional<QUrl>&) override
    {
        posted << QStringLiteral("%1 %2 %3").arg(id, title).arg(n);
    }
    QStringList posted;
};

inline QJsonObject jsonOf(const std::string& body)
{
    return QJsonDocument::fromJson(QByteArray::fromStdString(body)).object();
}

class Flow : public AppFixture {
protected:
    Flow() { clock.set(QDateTime(QDate(2025, 3, 4), QTime(10, 0), QTimeZone::utc())); }
    void SetUp() override { platform.start(); }
    void TearDown() override
    {
        controller.reset();
        platform.stop();
    }

    // A legacy workspace on this machine, which needs no key.
    void legacyHome()
    {
        const Workspace ws("Home", platform.base());
        settings->setWorkspaces({ws});
        settings->setActiveID(ws.id);
    }
    // Signed in with the projects "bramel" and "tovarind" on the fake platform.
    void signedIn()
    {
        ASSERT_TRUE(accounts->signIn("zv_key", "ada@example.com", "Ada"));
        settings->setPlatformBase(platform.base());
        accounts->apply({"ada@example.com", "Ada", platform.base() + "/api/v1/personal"},
                        {WebPlatform::project(platform.base(), "bramel", "Bramel", "owner"),
                         WebPlatform::project(platform.base(), "tovarind", "Tovarind", "member")});
    }

    AppController& make()
    {
        AppPorts p = ports();
        p.hud = noting(hud);
        p.voice = noting(voice);
        p.pill = noting(pill);
        p.windows = noting(windows);
        p.nudges = &nudges;
        p.menu = &menu;
        p.board = &board;
        p.notify = &notify;
        p.devices = &devices;
        p.grabs = &grabs;
        if (desktop)
            p.capture = desktop;
        p.voiceKeysHeld = [this] { return keysHeld; };
        p.idleSeconds = [this] { return idle; };
        p.liveSnapshot = [this](const Recorder& r, int since) {
            Recorder::LiveSnapshot s = r.liveSnapshot(since);
            for (int i = since; i < int(screenTexts.size()); ++i)
                s.ocr.push_back(screenTexts[size_t(i)]);
            s.ocrCount = int(screenTexts.size());
            if (!snapshotKind.isEmpty())
                s.kind = snapshotKind;
            return s;
        };
        controller = AppController::create(*accounts, std::move(p), {"zelvan"});
        return *controller;
    }

    // A running recording, with its live tips reset as the start does.
    void record()
    {
        controller->startRecording();
        worker.finishAll();
        ASSERT_TRUE(controller->recorder);
        controller->beginTips();
    }
    void stop()
    {
        controller->stopRecording();
        controller->endTips();
        worker.finishAll();
    }

    // Moves the clock and the scheduler together, a step at a time.
    void advance(double seconds, double step = 0.1)
    {
        for (double done = 0; done < seconds - 1e-9; done += step) {
            const double s = std::min(step, seconds - done);
            clock.advance(s);
            scheduler.advance(s);
        }
        // Sums of tenths are not exact: let a timer due at the very end run.
        scheduler.advance(1e-6);
    }

    std::vector<FakePlatform::Request> requests(const std::string& method, const std::string& path) const
    {
        std::vector<FakePlatform::Request> out;
        for (const auto& r : platform.requests())
            if (r.method == method && r.path == path)
                out.push_back(r);
        return out;
    }
    int count(const std::string& method, const std::string& path) const { return int(requests(method, path).size()); }

    FakePlatform platform;
    FakeMenu menu;
    FakeDevices devices;
    ScreenNudges nudges;
    BoardLog board;
    NotifyLog notify;
    FakeGrabs grabs;
    // The desktop the recording flow and the work day ask; the real one when unset.
    Ports::Capture* desktop = nullptr;
    FakeHud* hud = nullptr;
    ScriptedVoice* voice = nullptr;
    PillLog* pill = nullptr;
    WrapWindows* windows = nullptr;
    bool keysHeld = true;
    double idle = 0;
    std::vector<OcrEntry> screenTexts;
    QString snapshotKind; // the recording's own when empty
    std::shared_ptr<AppController> controller;
};
