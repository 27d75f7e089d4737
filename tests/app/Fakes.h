#pragma once

#include "app/AppPorts.h"
#include "menu/MenuModel.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QUrl>

#include <map>
#include <stdexcept>
#include <vector>

// A scheduler that runs nothing until the test advances its time.
class FakeScheduler final : public Ports::Scheduler {
public:
    struct Timer {
        double due;
        double interval; // 0 for a one-off
        std::function<void()> fn;
    };
    Id every(double seconds, std::function<void()> fn) override { return add(seconds, seconds, std::move(fn)); }
    Id after(double seconds, std::function<void()> fn) override { return add(seconds, 0, std::move(fn)); }
    void post(std::function<void()> fn) override { add(0, 0, std::move(fn)); }
    void cancel(Id id) override { timers.erase(id); }

    // Runs every timer that falls due up to now + seconds, in time order.
    void advance(double seconds)
    {
        const double end = now + seconds;
        for (;;) {
            auto next = timers.end();
            for (auto it = timers.begin(); it != timers.end(); ++it)
                if (it->second.due <= end && (next == timers.end() || it->second.due < next->second.due))
                    next = it;
            if (next == timers.end())
                break;
            now = next->second.due;
            auto fn = next->second.fn;
            if (next->second.interval > 0)
                next->second.due += next->second.interval;
            else
                timers.erase(next);
            fn();
        }
        now = end;
    }
    std::vector<double> intervals() const
    {
        std::vector<double> out;
        for (const auto& [id, t] : timers)
            if (t.interval > 0)
                out.push_back(t.interval);
        return out;
    }

    double now = 0;
    std::map<Id, Timer> timers;

private:
    Id add(double delay, double interval, std::function<void()> fn)
    {
        timers[++last] = {now + delay, interval, std::move(fn)};
        return last;
    }
    Id last = 0;
};

// Blocking work held until the test finishes it. A job is its work, then its
// answer on the main thread, which gets what the work threw.
class FakeWorker final : public Ports::Worker {
public:
    void run(Lane lane, std::function<void()> work, std::function<void(std::exception_ptr)> done) override
    {
        auto error = std::make_shared<std::exception_ptr>();
        jobs.push_back({[work = std::move(work), error] {
                            try {
                                work();
                            } catch (...) {
                                *error = std::current_exception();
                            }
                        },
                        [done = std::move(done), error] { done(*error); }});
        lanes.push_back(lane);
    }
    // Finishes the oldest job only.
    void finishOne()
    {
        auto job = std::move(jobs.front());
        jobs.erase(jobs.begin());
        job.first();
        job.second();
    }
    void finishAll()
    {
        while (!jobs.empty())
            finishOne();
    }
    std::vector<std::pair<std::function<void()>, std::function<void()>>> jobs;
    // The lane of every job ever run, in order.
    std::vector<Lane> lanes;
};

class FakeStatusItem final : public Ports::StatusItem {
public:
    void create() override { ++created; }
    void setIcon(bool rec, bool d) override
    {
        recording = rec;
        dot = d;
    }
    void setTitle(const QString& t) override { title = t; }
    void setToolTip(const QString& t) override { tip = t; }
    QString toolTip() const override { return tip; }
    std::optional<QRect> geometry() const override { return std::nullopt; }
    int created = 0;
    bool recording = false;
    bool dot = true;
    QString title;
    QString tip;
};

// The recording panel: whether it shows and with the microphone, what it
// says it hears or listens to, and its feed as "Kind: text" lines.
class FakeHud final : public Ports::HUDController {
public:
    void show(const QDateTime&, bool m) override
    {
        shown = true;
        mic = m;
    }
    void hide() override { shown = false; }
    std::optional<QRect> frame() const override { return std::nullopt; }
    void add(const QString& kind, const QString& text) override { feed << kind + ": " + text; }
    int feedCount() const override { return int(feed.size()); }
    void setMode(Mode) override {}
    void setHearing(bool on) override { hearing = on; }
    void setListening(bool on) override { listening = on; }
    bool shown = false, mic = false, hearing = false, listening = false;
    QStringList feed;
};

class FakeNudges final : public Ports::Nudges {
public:
    void show(Card card) override { shown.push_back(std::move(card)); }
    void dismiss(const QString& kind) override { dismissed << kind; }
    std::optional<QString> current() const override { return std::nullopt; }
    std::vector<Card> shown;
    QStringList dismissed;
};

class FakeHotKeys final : public Ports::HotKeys {
public:
    bool registerKey(quint32 id, int key, std::function<void()> press, std::function<void()> release) override
    {
        keys[id] = {key, std::move(press), std::move(release)};
        return !(refuse.contains(int(id)));
    }
    struct Key {
        int key;
        std::function<void()> press, release;
    };
    std::map<quint32, Key> keys;
    QList<int> refuse;
};

class FakeApplication final : public Ports::Application {
public:
    void terminate() override { ++terminated; }
    void print(const QString& line) override { printed << line; }
    bool openSoundSettings() override { return ++soundSettings, true; }
    int ask(const QString& title, const QString&, const QStringList&) override
    {
        asked << title;
        return answer;
    }
    void openInBrowser(const QUrl& url) override { browsed << url.toString(); }
    QStringList browsed;
    int terminated = 0;
    int soundSettings = 0;
    int answer = -1;
    QStringList printed;
    QStringList asked;
};

class FakeDetector final : public Ports::CallDetector {
public:
    void start() override { ++started; }
    void suppressCurrent() override { ++suppressed; }
    void resetForRecording() override { ++resets; }
    QString recordingTitle(const Ports::CallHit& hit) const override { return hit.app + " call"; }
    std::optional<Ports::CallHit> identify() override
    {
        ++identified;
        return call;
    }
    int started = 0, suppressed = 0, resets = 0, identified = 0;
    std::optional<Ports::CallHit> call;
};

// The real menu model over a throw-away store; counts the rebuilds.
class FakeMenu final : public Ports::Menu {
public:
    FakeMenu()
    {
        QObject::connect(&model_, &MenuModel::stateChanged, [this] { ++rebuilds; });
    }
    MenuModel& model() override { return model_; }
    QString dump() const { return model_.s().dump(); }
    int rebuilds = 0;

private:
    QTemporaryDir dir_;
    QSettings store_{dir_.filePath("menu.conf"), QSettings::IniFormat};
    MenuModel model_{store_};
};

class FakeBoard final : public Ports::Board {
public:
    void openDeepLink(const QString& url) override { calls << "link " + url; }
    void show() override { calls << "show"; }
    void signedIn() override { calls << "signedIn"; }
    void signedOut() override
    {
        calls << "signedOut";
        if (onSignedOut)
            onSignedOut();
    }
    void open(const QUrl& url) override { calls << "open " + url.toString(); }
    QStringList calls;
    std::function<void()> onSignedOut;
};

class FakeWindowBox final : public Ports::WindowBox {
public:
    void show(const QString& id, const QString& title, std::function<QWidget*()>) override
    {
        shown << id + " " + title;
    }
    QStringList shown;
};

// The desktop as the recording flow asks it: every answer set by the test.
class FakeCapture final : public Ports::Capture {
public:
    bool screenPreflight() override
    {
        if (throws)
            throw std::runtime_error("the display server went away");
        return preflight;
    }
    bool screenWorks() override { return works; }
    bool micAvailable() override { return mic; }
    std::optional<bool> othersUsingInput() override { return others; }
    std::optional<bool> inputRunningSomewhere() override { return inputRunning; }
    std::optional<FrontApp> frontApp() override
    {
        ++frontAsked;
        return front;
    }
    bool preflight = true, works = true, mic = true;
    // The checks throw, as a backend that does not catch its own errors would.
    bool throws = false;
    std::optional<bool> others = false, inputRunning = false;
    std::optional<FrontApp> front;
    int frontAsked = 0;
};

class FakeNotify final : public Ports::Notify {
public:
    void setup() override {}
    void saved(const QString& id, const QString& title, const QString& where, const std::optional<QUrl>& url,
               const QString& key) override
    {
        posted << "saved " + id + " | " + title + " | " + where + " | " + (url ? url->toString() : "-") + " | " + key;
    }
    void filedPersonal(const QString& title, const QString& key) override
    {
        posted << "filedPersonal " + title + " | " + key;
    }
    QStringList posted;
};
