#pragma once

#include "platform/CaptureDevices.h"
#include "session/Recorder.h"
#include "platform/PcmBuffer.h"

#include <QByteArray>
#include <QDateTime>
#include <QRect>
#include <QUrl>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QtGlobal>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class MenuModel;
class QWidget;
class WrapModel;

// Every collaborator of the application controller, each behind a small interface,
// so that tests drive the controller with fakes and a fake scheduler. The running
// application adapts its real components to these (RealPorts); tests that need
// only some of them take do-nothing stand-ins for the rest (AppPorts::standIns).
namespace Ports {

// Timers and deferred calls on the main thread.
class Scheduler {
public:
    using Id = quint64;
    virtual ~Scheduler() = default;
    // Repeats every `seconds` until cancelled.
    virtual Id every(double seconds, std::function<void()> fn) = 0;
    // Once, after `seconds`.
    virtual Id after(double seconds, std::function<void()> fn) = 0;
    // Once, as soon as the event loop is free.
    virtual void post(std::function<void()> fn) = 0;
    // Unknown or finished ids are ignored.
    virtual void cancel(Id id) = 0;
};

// Blocking work off the main thread. Each lane has threads of its own, so work
// of one kind never queues behind another: a stop never waits for a hung
// request, and a long upload never holds up a short poll.
class Worker {
public:
    enum class Lane {
        capture,  // the recorder's start and stop, and the access checks before a start
        network,  // one request to a server
        transfer, // long jobs: an upload, closing a session's tracks
        local,    // short desktop and file work, and waits on other pools
    };
    virtual ~Worker() = default;
    // `done` runs on the main thread afterwards with what `work` threw, or null.
    virtual void run(Lane lane, std::function<void()> work, std::function<void(std::exception_ptr)> done) = 0;
};

// The tray item. It has no title text of its own: the running clock goes into the tooltip.
class StatusItem {
public:
    virtual ~StatusItem() = default;
    virtual void create() = 0;
    // Recording icon with or without its dot, or the idle icon.
    virtual void setIcon(bool recording, bool dot) = 0;
    virtual void setTitle(const QString& title) = 0;
    virtual void setToolTip(const QString& text) = 0;
    virtual QString toolTip() const = 0;
    // Where the item sits on screen, when the tray tells.
    virtual std::optional<QRect> geometry() const = 0;
    // A left or right click.
    std::function<void()> onClick;
};

class PopoverController {
public:
    virtual ~PopoverController() = default;
    virtual void toggle() = 0;
    virtual void open() = 0;
    virtual bool isOpen() const = 0;
    // The popover's window, for the interface check.
    virtual std::optional<QRect> frame() const { return std::nullopt; }
    virtual bool isKey() const { return false; }
    virtual bool isVisible() const { return false; }
    virtual int contentHeight() const { return 0; }
    virtual int actionCount() const { return 0; }
    virtual std::optional<QString> selected() const { return std::nullopt; }
    virtual void sendDown() {}
    virtual void sendEscape() {}
    std::function<void()> onOpen;
};

// The floating recording panel.
class HUDController {
public:
    enum class Mode { pill, card, dot };
    virtual ~HUDController() = default;
    virtual void show(const QDateTime& started, bool mic) = 0;
    virtual void hide() = 0;
    // While shown.
    virtual std::optional<QRect> frame() const = 0;
    virtual void add(const QString& kind, const QString& text) = 0;
    virtual int feedCount() const = 0;
    virtual void setMode(Mode mode) = 0;
    // The panel shows that a voice command is being spoken.
    virtual void setListening(bool) {}
    // Whether the panel says live hearing is on.
    virtual void setHearing(bool) {}
    std::function<void()> stop;
    std::function<void()> pin;
    std::function<void()> voice;
};

class Nudges {
public:
    struct Button {
        QString title;
        bool primary = false;
        std::function<void()> action;
    };
    struct Card {
        QString kind;
        int priority = 1;
        QString icon = QStringLiteral("/");
        QString title;
        std::optional<QString> message;
        std::vector<Button> buttons;
        bool stacked = false;
        std::optional<double> timeout;
        std::function<void()> onTimeout;
    };
    virtual ~Nudges() = default;
    virtual void show(Card card) = 0;
    virtual void dismiss(const QString& kind) = 0;
    virtual std::optional<QString> current() const = 0;
    // A screen rectangle nudges keep clear of.
    std::function<std::optional<QRect>()> avoid;
};

class HotKeys {
public:
    virtual ~HotKeys() = default;
    // Ctrl+Alt with the key (Qt::Key); false when someone else owns the combination.
    virtual bool registerKey(quint32 id, int key, std::function<void()> onPress, std::function<void()> onRelease) = 0;
};

struct CallHit {
    QString app;
    std::optional<QString> title;
};

class CallDetector {
public:
    virtual ~CallDetector() = default;
    virtual void start() = 0;
    virtual void suppressCurrent() = 0;
    virtual void resetForRecording() = 0;
    // The session title for a detected call.
    virtual QString recordingTitle(const CallHit& hit) const = 0;
    // The call going on now, if any. Blocking: asks the sound server and the windows.
    virtual std::optional<CallHit> identify() { return std::nullopt; }
    std::function<bool()> isRecording;
    std::function<bool()> recordingUsesMic;
    std::function<bool()> recordingFromCall;
    std::function<bool()> enabled;
    std::function<void(const CallHit&)> onCallStart;
    std::function<void()> onCallEnded;
    // Runs a question to the sound server off the main thread, then its answer on it.
    std::function<void(std::function<void()> ask, std::function<void()> answered)> offMain;
};

class LiveHearing {
public:
    virtual ~LiveHearing() = default;
    // False when recognition is not available.
    virtual bool start() { return false; }
    virtual void stop() = 0;
    // A microphone buffer of the recording, on the capture thread.
    virtual void append(const PcmBuffer&) {}
    // Each key phrase heard, on the main thread.
    std::function<void(const QString&)> onPhrase;
};

// The push-to-talk listener. As it stands it is the idle one: voice commands
// cannot be heard.
class VoiceListener {
public:
    virtual ~VoiceListener() = default;
    // Whether commands can be heard; `done` gets (true, "") or (false, why).
    virtual void authorize(std::function<void(bool granted, const QString& message)> done) { done(false, {}); }
    // Throws (an Error with a readable description) when listening cannot start.
    virtual void start() {}
    // Stops listening; `done` gets the final text once, later, on the main thread.
    virtual void stop(std::function<void(const QString& text)>) {}
    virtual bool listening() const { return false; }
    virtual QString text() const { return {}; }
    // The whole transcription so far, after every result.
    std::function<void(const QString&)> onPartial;
};

// The listening pill at the top of the screen.
class VoicePill {
public:
    virtual ~VoicePill() = default;
    // With `hideAfter` it goes away by itself that many seconds later.
    virtual void show(bool /*listening*/, const QString& /*text*/, std::optional<double> /*hideAfter*/) {}
    virtual void update(const QString&) {}
    virtual void hide() {}
};

// Keeper of the ordinary windows.
class WindowBox {
public:
    virtual ~WindowBox() = default;
    // The end-of-day window ("wrap", titled "End my day") on `model`, in place of
    // an open one. `closed` runs once when the user closes that window.
    virtual void showWrap(std::shared_ptr<WrapModel>, std::function<void()> /*closed*/) {}
    // One window per id: an open one gets the fresh view and comes to the
    // front. `view` makes the content when the window shows it.
    virtual void show(const QString& id, const QString& title, std::function<QWidget*()> view)
    {
        (void)id, (void)title, (void)view;
    }
};

// The screen grabs a pin is made from.
class Grabs {
public:
    using Completion = std::function<void(std::optional<QByteArray> jpeg)>;
    virtual ~Grabs() = default;
    // The user selects a region; `done` runs later on the main thread with its JPEG, or nothing.
    virtual void selectRegion(Completion done) = 0;
    // Asks for the pin's note, modally; nothing when cancelled.
    virtual std::optional<QString> askNote(const QByteArray& jpeg, bool recording) = 0;
    // A silent grab of the main display; `done` runs later on the main thread.
    virtual void mainDisplay(Completion done) = 0;
    // PinCapture and ScreenGrab.
    static Grabs& system();
};

class Board {
public:
    virtual ~Board() = default;
    virtual void openDeepLink(const QString& url) = 0;
    // The board window at its current or home page.
    virtual void show() = 0;
    virtual void signedIn() = 0;
    // Ends the board's web session after the app signed out.
    virtual void signedOut() {}
    // A board page in the board window; any other address in the browser.
    virtual void open(const QUrl& url) { (void)url; }
};

class Notify {
public:
    virtual ~Notify() = default;
    virtual void setup() = 0;
    virtual void reviewReady(const QString& /*id*/, const QString& /*title*/, int /*suggestions*/,
                             const std::optional<QUrl>& /*url*/)
    {
    }
    // A session reached its project or Personal; `key` names the notification.
    virtual void saved(const QString& id, const QString& title, const QString& where, const std::optional<QUrl>& url,
                       const QString& key)
    {
        (void)id, (void)title, (void)where, (void)url, (void)key;
    }
    // A session nobody placed went to Personal.
    virtual void filedPersonal(const QString& title, const QString& key) { (void)title, (void)key; }
};

// What the recording flow asks of the desktop. Every call may block briefly:
// call them off the main thread.
class Capture {
public:
    struct FrontApp {
        QString name;
        std::optional<QString> bundleID;
        std::optional<QString> title;
    };
    virtual ~Capture() = default;
    // The screen can be captured: the cheap check, then the thorough probe.
    virtual bool screenPreflight() = 0;
    virtual bool screenWorks() = 0;
    // There is a microphone to record from.
    virtual bool micAvailable() = 0;
    // Someone other than us captures the microphone; any input runs at all.
    virtual std::optional<bool> othersUsingInput() = 0;
    virtual std::optional<bool> inputRunningSomewhere() = 0;
    // The application in front with its window title.
    virtual std::optional<FrontApp> frontApp() = 0;

    // The desktop's screen, sound server and windows.
    static Capture& system();
};

// The popover's model: the controller rebuilds its state and actions on every
// change; the popover draws the state and runs the actions.
class Menu {
public:
    virtual ~Menu() = default;
    virtual MenuModel& model() = 0;
};

// Windows of this process that are shown and kept out of recordings.
class Windows {
public:
    virtual ~Windows() = default;
    virtual std::optional<QRect> excludedVisibleFrame() const = 0;
    // Process events until every window request so far reached the display.
    virtual void sync() {}
};

// Process-level actions of the running application.
class Application {
public:
    virtual ~Application() = default;
    // Leaves the event loop; the process ends with status 0.
    virtual void terminate() = 0;
    // A report line of a diagnostic mode, on standard output, flushed.
    virtual void print(const QString& line) = 0;
    // The desktop's sound settings; false when none is installed.
    virtual bool openSoundSettings() = 0;
    // A modal question with buttons; the index of the chosen one, or -1.
    virtual int ask(const QString& title, const QString& text, const QStringList& buttons) = 0;
    // The desktop's default browser, never the board window.
    virtual void openInBrowser(const QUrl& url) { (void)url; }
};

} // namespace Ports

// The collaborators one controller is made from, created in the controller's
// order through these factories.
struct AppPorts {
    std::function<std::unique_ptr<Ports::PopoverController>()> popover;
    std::function<std::unique_ptr<Ports::HUDController>()> hud;
    std::function<std::unique_ptr<Ports::LiveHearing>()> hearing;
    std::function<std::unique_ptr<Ports::WindowBox>()> windows;
    std::function<std::unique_ptr<Ports::CallDetector>()> detector;
    std::function<std::unique_ptr<Ports::VoiceListener>()> voice;
    std::function<std::unique_ptr<Ports::VoicePill>()> pill;

    // Shared services, owned by whoever built the ports.
    Ports::Scheduler* scheduler = nullptr;
    Ports::Worker* worker = nullptr;
    Ports::StatusItem* statusItem = nullptr;
    Ports::Nudges* nudges = nullptr;
    Ports::HotKeys* hotKeys = nullptr;
    Ports::Board* board = nullptr;
    Ports::Notify* notify = nullptr;
    Ports::Menu* menu = nullptr;
    Ports::Windows* ownWindows = nullptr;
    Ports::Application* application = nullptr;
    CaptureDevices* devices = nullptr;
    Ports::Capture* capture = &Ports::Capture::system();
    // The workday folder; empty for the default.
    QString workdayDir;

    // Pins, voice commands and the activity tick; each falls back to the real
    // thing when left empty.
    Ports::Grabs* grabs = nullptr;
    // Whether Ctrl and Alt are both still held.
    std::function<bool()> voiceKeysHeld;
    // Seconds since the last input.
    std::function<double()> idleSeconds;
    // What the recording has seen, from text entry `since` on.
    std::function<Recorder::LiveSnapshot(const Recorder&, int since)> liveSnapshot;
    // How far a running stop has come (Recorder::stopProgress).
    std::function<quint64(const Recorder&)> stopProgress;

    // Do-nothing stand-ins for every component, over the given scheduler, worker,
    // status item and application.
    static AppPorts standIns(Ports::Scheduler& scheduler, Ports::Worker& worker, Ports::StatusItem& statusItem,
                             Ports::Application& application);
};
