#pragma once

#include "app/AppPorts.h"
#include "core/Settings.h"
#include "menu/MenuModel.h"

#include <QSettings>
#include <QStringList>
#include <functional>
#include <memory>

class QSettings;
class MenuModel;
class PopoverController;

// The application's own components behind the controller's ports: the popover,
// the recording panel, nudges, hot keys, call detection, voice, the board and
// notifications. Main thread only.
namespace RealPorts {

// Ctrl+Alt keys grabbed on the X server.
class X11HotKeys final : public Ports::HotKeys {
public:
    bool registerKey(quint32 id, int key, std::function<void()> onPress, std::function<void()> onRelease) override;
};

// The one nudge card of the process.
class SharedNudges final : public Ports::Nudges {
public:
    SharedNudges();
    ~SharedNudges() override;
    void show(Card card) override;
    void dismiss(const QString& kind) override;
    std::optional<QString> current() const override;
};

// The popover's menu: the model the popover shows. Until the popover exists a
// model of its own takes the builds, so a build never needs a popover.
class PopoverMenu final : public Ports::Menu {
public:
    MenuModel& model() override { return model_ ? *model_ : fallback_; }
    // Set by the popover when it is made; cleared when it goes.
    void attach(MenuModel* model) { model_ = model; }

private:
    MenuModel* model_ = nullptr;
    std::unique_ptr<QSettings> store_ = Settings::standard();
    MenuModel fallback_{*store_};
};

// The board, its library loaded by the first call that needs a board.
class BoardPort final : public Ports::Board {
public:
    void openDeepLink(const QString& url) override;
    void show() override;
    void signedIn() override;
    void signedOut() override;
    void open(const QUrl& url) override;
};

// Desktop notifications; switched off by the command line as Notify decides.
class NotifyPort final : public Ports::Notify {
public:
    explicit NotifyPort(QStringList args);
    void setup() override;
    void reviewReady(const QString& id, const QString& title, int suggestions, const std::optional<QUrl>& url) override;
    void saved(const QString& id, const QString& title, const QString& where, const std::optional<QUrl>& url,
               const QString& key) override;
    void filedPersonal(const QString& title, const QString& key) override;

private:
    QStringList args_;
};

// Everything a running application needs besides the scheduler, worker, status
// item, application and own-window list, which the caller makes.
struct Components {
    // `store`: the standard defaults store, for the popover's fold state and the
    // recording panel's mode and place; it outlives the controller.
    // `quit`: what Ctrl+Q in the popover runs.
    Components(QSettings& store, Ports::StatusItem& statusItem, QStringList args, std::function<void()> quit);
    ~Components();

    // The ports over these components and the given shared services.
    AppPorts ports(Ports::Scheduler& scheduler, Ports::Worker& worker, Ports::Application& application,
                   Ports::Windows& ownWindows);

    QSettings& store;
    Ports::StatusItem& statusItem;
    std::function<void()> quit;
    X11HotKeys hotKeys;
    SharedNudges nudges;
    PopoverMenu menu;
    std::unique_ptr<BoardPort> board;
    NotifyPort notify;
};

} // namespace RealPorts
