#include "app/RealPorts.h"

#include "activity/CallApps.h"
#include "activity/CallDetector.h"
#include "activity/LiveHearing.h"
#include "activity/VoiceListener.h"
#include "board/Board.h"
#include "board/Notify.h"
#include "core/FeedItem.h"
#include "menu/KeyPanel.h"
#include "menu/MenuModel.h"
#include "menu/PopoverController.h"
#include "ui/HUDController.h"
#include "ui/HotKeys.h"
#include "ui/Nudges.h"
#include "ui/VoicePill.h"
#include "ui/WindowBox.h"

#include <QKeyEvent>
#include <QUrl>

namespace {

class PopoverPort final : public Ports::PopoverController {
public:
    PopoverPort(QSettings& store, Ports::StatusItem& item, RealPorts::PopoverMenu& menu, std::function<void()> quit)
        : real_(store)
        , item_(item)
        , menu_(menu)
    {
        real_.onOpen = [this] {
            if (onOpen)
                onOpen();
        };
        real_.onQuit = std::move(quit);
        menu_.attach(&real_.model());
    }
    ~PopoverPort() override { menu_.attach(nullptr); }

    // Hangs from the tray icon when the tray tells where it is, else from the pointer.
    void toggle() override { real_.toggle(item_.geometry().value_or(QRect())); }
    void open() override { real_.open(item_.geometry().value_or(QRect())); }
    bool isOpen() const override { return real_.isOpen(); }
    std::optional<QRect> frame() const override
    {
        if (!real_.panel() || !real_.panel()->isVisible())
            return std::nullopt;
        return real_.panel()->geometry();
    }
    bool isKey() const override { return real_.panel() && real_.panel()->isActiveWindow(); }
    bool isVisible() const override { return real_.panel() && real_.panel()->isVisible(); }
    int contentHeight() const override { return int(real_.model().contentHeight()); }
    int actionCount() const override { return int(real_.model().order().size()); }
    std::optional<QString> selected() const override { return real_.model().selected(); }
    void sendDown() override { send(Qt::Key_Down); }
    void sendEscape() override { send(Qt::Key_Escape); }

private:
    void send(Qt::Key key)
    {
        const QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
        real_.handleKey(event);
    }

    // Mutable for the model's const-less accessors.
    mutable ::PopoverController real_;
    Ports::StatusItem& item_;
    RealPorts::PopoverMenu& menu_;
};

class HudPort final : public Ports::HUDController {
public:
    explicit HudPort(QSettings& store)
        : real_(store)
    {
        HUDModel& m = real_.model();
        m.stop = [this] {
            if (stop)
                stop();
        };
        m.pin = [this] {
            if (pin)
                pin();
        };
        m.voice = [this] {
            if (voice)
                voice();
        };
    }
    void show(const QDateTime& started, bool mic) override { real_.show(started, mic); }
    void hide() override { real_.hide(); }
    std::optional<QRect> frame() const override { return real_.frame(); }
    void add(const QString& kind, const QString& text) override
    {
        // The feed's kinds go by their labels; an unknown one is a plain line.
        real_.model().add(FeedItem::kindFromLabel(kind).value_or(FeedItem::Kind::info), text);
    }
    int feedCount() const override { return int(real_.model().feed().size()); }
    void setMode(Mode mode) override
    {
        switch (mode) {
        case Mode::pill:
            real_.model().set(HUDModel::Mode::pill);
            break;
        case Mode::card:
            real_.model().set(HUDModel::Mode::card);
            break;
        case Mode::dot:
            real_.model().set(HUDModel::Mode::dot);
            break;
        }
    }

private:
    mutable ::HUDController real_;
};

class HearingPort final : public Ports::LiveHearing {
public:
    void stop() override { real_.stop(); }

private:
    ::LiveHearing real_;
};

class WindowBoxPort final : public Ports::WindowBox {
private:
    ::WindowBox real_;
};

class VoicePort final : public Ports::VoiceListener {
private:
    ::VoiceListener real_;
};

class PillPort final : public Ports::VoicePill {
private:
    ::VoicePill real_;
};

class DetectorPort final : public Ports::CallDetector {
public:
    DetectorPort()
    {
        real_.isRecording = [this] { return isRecording && isRecording(); };
        real_.recordingUsesMic = [this] { return recordingUsesMic && recordingUsesMic(); };
        real_.recordingFromCall = [this] { return recordingFromCall && recordingFromCall(); };
        real_.enabled = [this] { return enabled && enabled(); };
        real_.onCallStart = [this](const ::CallHit& hit) {
            if (onCallStart)
                onCallStart({hit.app, hit.title});
        };
        real_.onCallEnded = [this] {
            if (onCallEnded)
                onCallEnded();
        };
    }
    void start() override { real_.start(); }
    void suppressCurrent() override { real_.suppressCurrent(); }
    void resetForRecording() override { real_.resetForRecording(); }
    QString recordingTitle(const Ports::CallHit& hit) const override
    {
        return CallApps::recordingTitle(hit.app, hit.title);
    }

private:
    ::CallDetector real_;
};

} // namespace

namespace RealPorts {

bool X11HotKeys::registerKey(quint32 id, int key, std::function<void()> onPress, std::function<void()> onRelease)
{
    return ::HotKeys::registerKey(id, Qt::Key(key), ::HotKeys::appModifiers, std::move(onRelease), std::move(onPress));
}

SharedNudges::SharedNudges()
{
    ::Nudges::shared().avoid = [this]() -> std::optional<QRect> { return avoid ? avoid() : std::nullopt; };
}

SharedNudges::~SharedNudges()
{
    // The card manager outlives this port.
    ::Nudges::shared().avoid = {};
}

void SharedNudges::show(Card card)
{
    Nudge n;
    n.kind = card.kind;
    n.priority = card.priority;
    n.icon = card.icon;
    n.title = card.title;
    n.message = card.message;
    for (Button& b : card.buttons)
        n.buttons.push_back({b.title, b.primary, std::move(b.action)});
    n.stacked = card.stacked;
    n.timeout = card.timeout;
    n.onTimeout = std::move(card.onTimeout);
    ::Nudges::shared().show(std::move(n));
}

void SharedNudges::dismiss(const QString& kind)
{
    ::Nudges::shared().dismissKind(kind);
}

std::optional<QString> SharedNudges::current() const
{
    return ::Nudges::shared().current();
}

void PopoverMenu::rebuild()
{
    if (!model_)
        return;
    model_->begin();
    model_->commit(MenuState{});
}

QString PopoverMenu::dump() const
{
    return model_ ? model_->s().dump() : MenuState{}.dump();
}

BoardPort::BoardPort(::Board& board)
    : board_(board)
{
}

void BoardPort::openDeepLink(const QString& url)
{
    board_.openDeepLink(QUrl(url));
}

void BoardPort::show()
{
    board_.show();
}

void BoardPort::signedIn()
{
    board_.signedIn();
}

NotifyPort::NotifyPort(QStringList args)
    : args_(std::move(args))
{
}

void NotifyPort::setup()
{
    ::Notify::shared().setup(args_);
}

Components::Components(QSettings& store, Ports::StatusItem& statusItem, QStringList args, std::function<void()> quit)
    : store(store)
    , statusItem(statusItem)
    , quit(std::move(quit))
    , board(std::make_unique<BoardPort>(::Board::shared()))
    , notify(std::move(args))
{
}

Components::~Components() = default;

AppPorts Components::ports(Ports::Scheduler& scheduler, Ports::Worker& worker, Ports::Application& application,
                           Ports::Windows& ownWindows)
{
    AppPorts p;
    p.popover = [this] { return std::make_unique<PopoverPort>(store, statusItem, menu, quit); };
    p.hud = [this] { return std::make_unique<HudPort>(store); };
    p.hearing = [] { return std::make_unique<HearingPort>(); };
    p.windows = [] { return std::make_unique<WindowBoxPort>(); };
    p.detector = [] { return std::make_unique<DetectorPort>(); };
    p.voice = [] { return std::make_unique<VoicePort>(); };
    p.pill = [] { return std::make_unique<PillPort>(); };
    p.scheduler = &scheduler;
    p.worker = &worker;
    p.statusItem = &statusItem;
    p.nudges = &nudges;
    p.hotKeys = &hotKeys;
    p.board = board.get();
    p.notify = &notify;
    p.menu = &menu;
    p.ownWindows = &ownWindows;
    p.application = &application;
    p.devices = &CaptureDevices::system();
    return p;
}

} // namespace RealPorts
