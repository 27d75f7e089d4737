// Do-nothing stand-ins for the components the controller talks to, for tests that
// drive it without windows, keys or a tray. Each answers as the component would
// when idle.
#include "app/AppPorts.h"

#include "core/Clock.h"
#include "core/Fmt.h"

namespace {

class NoPopover final : public Ports::PopoverController {
public:
    void toggle() override
    {
        if (!open_)
            open();
        else
            open_ = false;
    }
    void open() override
    {
        open_ = true;
        if (onOpen)
            onOpen();
    }
    bool isOpen() const override { return open_; }

private:
    bool open_ = false;
};

class NoHud final : public Ports::HUDController {
public:
    void show(const QDateTime&, bool) override {}
    void hide() override {}
    std::optional<QRect> frame() const override { return std::nullopt; }
    void add(const QString&, const QString&) override { ++count_; }
    int feedCount() const override { return count_; }
    void setMode(Mode) override {}

private:
    int count_ = 0;
};

class NoHearing final : public Ports::LiveHearing {
public:
    void stop() override {}
};

class NoDetector final : public Ports::CallDetector {
public:
    void start() override {}
    void suppressCurrent() override {}
    void resetForRecording() override {}
    QString recordingTitle(const Ports::CallHit& hit) const override
    {
        return hit.app + QStringLiteral(" call · ") + Fmt::human(Clock::current().now());
    }
};

class NoNudges final : public Ports::Nudges {
public:
    void show(Card) override {}
    void dismiss(const QString&) override {}
    std::optional<QString> current() const override { return std::nullopt; }
};

class NoHotKeys final : public Ports::HotKeys {
public:
    bool registerKey(quint32, int, std::function<void()>, std::function<void()>) override { return true; }
};

class NoBoard final : public Ports::Board {
public:
    void openDeepLink(const QString&) override {}
    void show() override {}
    void signedIn() override {}
};

class NoNotify final : public Ports::Notify {
public:
    void setup() override {}
};

class NoMenu final : public Ports::Menu {
public:
    void rebuild() override {}
    QString dump() const override { return {}; }
};

class NoWindows final : public Ports::Windows {
public:
    std::optional<QRect> excludedVisibleFrame() const override { return std::nullopt; }
};

} // namespace

AppPorts AppPorts::standIns(Ports::Scheduler& scheduler, Ports::Worker& worker, Ports::StatusItem& statusItem,
                            Ports::Application& application)
{
    static NoNudges nudges;
    static NoHotKeys hotKeys;
    static NoBoard board;
    static NoNotify notify;
    static NoMenu menu;
    static NoWindows windows;
    AppPorts p;
    p.popover = [] { return std::make_unique<NoPopover>(); };
    p.hud = [] { return std::make_unique<NoHud>(); };
    p.hearing = [] { return std::make_unique<NoHearing>(); };
    p.windows = [] { return std::make_unique<Ports::WindowBox>(); };
    p.detector = [] { return std::make_unique<NoDetector>(); };
    p.voice = [] { return std::make_unique<Ports::VoiceListener>(); };
    p.pill = [] { return std::make_unique<Ports::VoicePill>(); };
    p.scheduler = &scheduler;
    p.worker = &worker;
    p.statusItem = &statusItem;
    p.nudges = &nudges;
    p.hotKeys = &hotKeys;
    p.board = &board;
    p.notify = &notify;
    p.menu = &menu;
    p.ownWindows = &windows;
    p.application = &application;
    p.devices = &CaptureDevices::system();
    return p;
}
