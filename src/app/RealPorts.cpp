#include "app/RealPorts.h"

#include "activity/CallApps.h"
#include "activity/CallDetector.h"
#include "activity/LiveHearing.h"
#include "activity/VoiceListener.h"
#include "board/BoardModule.h"
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
#include "ui/WrapView.h"
#include "platform/CaptureBuffer.h"

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
    void setListening(bool on) override { real_.model().setListening(on); }
    void setHearing(bool on) override { real_.model().setHearing(on); }
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
    HearingPort()
    {
        real_.onPhrase = [this](const QString& phrase) {
            if (onPhrase)
                onPhrase(phrase);
        };
    }
    bool start() override { return real_.start(); }
    void stop() override { real_.stop(); }
    // Capture thread; hearing keeps no time of its own, so the stamp stays 0.
    void append(const PcmBuffer& buffer) override
    {
        CaptureBuffer b;
        static_cast<PcmBuffer&>(b) = buffer;
        real_.append(b);
    }

private:
    ::LiveHearing real_;
};

class WindowBoxPort final : public Ports::WindowBox {
public:
    ~WindowBoxPort() override
    {
        // The box closes its windows as it goes; by then nothing may call back
        // into this port or into the owner, which is going too.
        wrapWindow_ = nullptr;
        wrapClosed_ = {};
        real_.reset();
    }

    void show(const QString& id, const QString& title, std::function<QWidget*()> view) override
    {
        real_->show(id, title, view());
    }
    void showWrap(std::shared_ptr<WrapModel> model, std::function<void()> closed) override
    {
        auto* view = new WrapView(*model);
        // The view reads the model for as long as it lives.
        QObject::connect(view, &QObject::destroyed, [model] {});
        wrapClosed_ = std::move(closed);
        real_->show(QStringLiteral("wrap"), QStringLiteral("End my day"), view);
        // Only the window's own end counts as closed; new content in it does not.
        QWidget* window = real_->window(QStringLiteral("wrap"));
        if (window && window != wrapWindow_) {
            wrapWindow_ = window;
            QObject::connect(window, &QObject::destroyed, real_.get(), [this, window] {
                if (wrapWindow_ != window)
                    return;
                wrapWindow_ = nullptr;
                if (auto done = std::exchange(wrapClosed_, {}))
                    done();
            });
        }
    }

private:
    QWidget* wrapWindow_ = nullptr;
    std::function<void()> wrapClosed_;
    // Last, so that it goes first even without the destructor's order.
    std::unique_ptr<::WindowBox> real_ = std::make_unique<::WindowBox>();
};

class VoicePort final : public Ports::VoiceListener {
public:
    VoicePort()
    {
        real_.onPartial = [this](const QString& text) {
            if (onPartial)
                onPartial(text);
        };
    }
    void authorize(std::function<void(bool, const QString&)> done) override { real_.authorize(done); }
    void start() override { real_.start(); }
    void stop(std::function<void(const QString&)> done) override { real_.stop(std::move(done)); }
    bool listening() const override { return real_.listening(); }
    QString text() const override { return real_.text(); }

private:
    ::VoiceListener real_;
};

class PillPort final : public Ports::VoicePill {
public:
    void show(bool listening, const QString& text, std::optional<double> hideAfter) override
    {
        real_.show(listening, text, hideAfter);
    }
    void update(const QString& text) override { real_.update(text); }
    void hide() override { real_.hide(); }

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
    void start() override
    {
        if (offMain)
            real_.offMain = offMain;
        real_.start();
    }
    void suppressCurrent() override { real_.suppressCurrent(); }
    void resetForRecording() override { real_.resetForRecording(); }
    QString recordingTitle(const Ports::CallHit& hit) const override
    {
        return CallApps::recordingTitle(hit.app, hit.title);
    }
    std::optional<Ports::CallHit> identify() override
    {
        const std::optional<::CallHit> hit = ::CallDetector::identify();
        if (!hit)
            return std::nullopt;
        return Ports::CallHit{hit->app, hit->title};
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

void BoardPort::openDeepLink(const QString& url)
{
    if (const BoardModule::Entry* board = BoardModule::entry())
        board->openDeepLink(QUrl(url));
}

void BoardPort::show()
{
    if (const BoardModule::Entry* board = BoardModule::entry())
        board->show(std::nullopt);
}

void BoardPort::signedIn()
{
    // A board not made yet has no page waiting for the sign-in.
    if (BoardModule::loaded())
        BoardModule::entry()->signedIn();
}

void BoardPort::signedOut()
{
    // The web session's cookies are on disk whether or not the board opened.
    if (const BoardModule::Entry* board = BoardModule::entry())
        board->signedOut();
}

void BoardPort::open(const QUrl& url)
{
    if (const BoardModule::Entry* board = BoardModule::entry())
        board->open(url);
}

NotifyPort::NotifyPort(QStringList args)
    : args_(std::move(args))
{
}

void NotifyPort::setup()
{
    ::Notify::shared().setup(args_);
}

void NotifyPort::reviewReady(const QString& id, const QString& title, int suggestions, const std::optional<QUrl>& url)
{
    ::Notify::shared().reviewReady(id, title, suggestions, url);
}

void NotifyPort::saved(const QString& id, const QString& title, const QString& where, const std::optional<QUrl>& url,
                       const QString& key)
{
    ::Notify::shared().saved(id, title, where, url, key);
}

void NotifyPort::filedPersonal(const QString& title, const QString& key)
{
    ::Notify::shared().filedPersonal(title, key);
}

Components::Components(QSettings& store, Ports::StatusItem& statusItem, QStringList args, std::function<void()> quit)
    : store(store)
    , statusItem(statusItem)
    , quit(std::move(quit))
    , board(std::make_unique<BoardPort>())
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
