#pragma once

#include "activity/Coach.h"
#include "activity/TodoStore.h"
#include "activity/WorkdayTracker.h"
#include "app/AppPorts.h"
#include "app/Reviews.h"
#include "core/Accounts.h"
#include "core/Settings.h"
#include "core/SignIn.h"
#include "session/Recorder.h"
#include "session/RouteResult.h"
#include "session/Suggestion.h"

#include <QDateTime>
#include <QMap>
#include <QObject>
#include <QSet>
#include <QStringList>
#include <QUrl>
#include <atomic>
#include <exception>
#include <memory>
#include <type_traits>
#include <optional>
#include <vector>

class MenuModel;
class QFileSystemWatcher;
class Session;
struct MenuState;

// The application controller: one object on the main thread for the life of the
// process. It owns the long-lived components, wires their callbacks, owns the
// status item's state and the timers, and runs the flows between them. Each flow
// lives in a source file of its own (Launch, Status, Recovery, Quit, Recording).
//
// Callbacks handed to other components hold the controller through a weak handle
// and do nothing once it is gone.
class AppController : public std::enable_shared_from_this<AppController> {
public:
    // Builds the components in order; nothing else happens here: no window, timer,
    // hot key or request exists before launch().
    static std::shared_ptr<AppController> create(Accounts& accounts, AppPorts ports, QStringList args);
    ~AppController();
    AppController(const AppController&) = delete;
    AppController& operator=(const AppController&) = delete;

    // Launch: everything that happens once the application is up.
    void launch();
    // A URL handed over by the desktop (or a second instance).
    void openURL(const QString& url);
    // The application is opened again while it runs.
    void reopen();

    // Every quit goes here (tray menu, Ctrl+Q, SIGTERM/SIGINT, the session manager).
    // Idle: terminates at once. Starting, recording or saving: stops and saves the
    // recording first, then terminates.
    void requestQuit();

    // Status item.
    void statusClicked();
    void updateStatusTitle();
    void setRecIcon();

    // Recording, as far as quitting needs it: start, stop and save.
    void startRecording(const std::optional<Ports::CallHit>& hit = std::nullopt);
    void stopRecording();

    // Seams of the flows that the launch calls; they fill in with those flows.
    void rebuildMenu();
    // Reloads the to-dos and rebuilds the menu; `quiet` (after a to-do's own
    // action) leaves a failure out of the log.
    void refreshTodos(bool quiet = false);
    void activityTick();
    void retryPersonal(bool force);
    void retryUploads();
    void refreshAccount(std::function<void()> then);
    void openSettings();
    void voiceDown();
    void voiceUp();
    void addPin();

    // Closes the recordings a previous run left unfinished.
    void recoverInterrupted();
    // The interface self-check of "--ui-check"; ends the process.
    void uiCheck();
    // A modal alert with a way to the desktop's settings for `pane`.
    void permissionAlert(const QString& title, const QString& text, const QString& pane);
    void openPrivacy(const QString& pane);

    // The launch log line after "launched <app id> ".
    QString launchSummary();
    // True with "--dump-menu", "--ui-check" or "--board-check": a diagnostic run
    // beside a running instance, which must not touch its recordings or timers.
    bool diagnostic() const;

    // Fields, in the order they are made.
    Accounts& accounts;
    Settings& settings;
    bool statusCreated = false;
    std::unique_ptr<Ports::PopoverController> popover;
    std::unique_ptr<Ports::HUDController> hud;
    std::unique_ptr<Ports::LiveHearing> hearing;
    std::unique_ptr<Ports::WindowBox> windows;
    std::unique_ptr<Ports::CallDetector> detector;
    std::unique_ptr<WorkdayTracker> tracker;
    Coach& coach(); // made on first use
    std::unique_ptr<TodoStore> todos;
    std::unique_ptr<SignIn> signIn;
    std::shared_ptr<Recorder> recorder;
    bool recordingFromCall = false;
    bool starting = false;
    bool saving = false;
    bool pinning = false;
    std::optional<Ports::Scheduler::Id> recTimer;
    std::optional<Ports::Scheduler::Id> activityTimer;
    std::optional<Ports::Scheduler::Id> todoTimer;
    QDateTime lastWorkdayUpload;
    bool quitAfterSave = false;
    int recTicks = 0;
    std::unique_ptr<Ports::VoiceListener> voice;
    std::unique_ptr<Ports::VoicePill> pill;
    bool voiceHeld = false;
    bool voiceKeyOK = true;
    std::optional<Ports::Scheduler::Id> blinkTimer;
    bool blinkOn = true;
    bool voiceByClick = false;

    // --- Pins, live tips, voice commands, work day, end of day, reviews and cards
    // (Pins.cpp, Voice.cpp, Workday.cpp, Reviews.cpp) ---

    // The recording flow calls these: at each capture start, on every recording
    // tick, and at the stop.
    void beginTips();
    void liveTipTick(const std::shared_ptr<Recorder>& rec);
    void endTips();

    void uploadWorkday();
    // Opens the end-of-day window and runs the summary.
    void wrapUp();

    struct ReviewWatch {
        QString id;
        API api;
        std::optional<Url> link;
        std::optional<QString> dest;
        QString title;
        QDateTime until;
        bool ready = false;
        std::vector<ReviewSuggestion> suggestions;
        // A poll of this call is on its way.
        bool polling = false;
    };
    // (watch, suggestion key)
    using ReviewRef = std::optional<std::pair<ReviewWatch, QString>>;
    void watchReview(const QString& id, const API& api, const std::optional<Url>& link,
                     const std::optional<QString>& dest, const QString& title);
    void pollReviews();
    void openReview(const QString& id);
    void askCard(const QString& title, const std::optional<QString>& why, const std::optional<QString>& suggested,
                 const ReviewRef& review);
    void addCard(const QString& title, const std::optional<QString>& why, const QString& to, const ReviewRef& review);
    void askMove();
    void move(const FiledRef& filed, const QString& to);
    // Sign-out: nothing may be asked with the old key any more.
    void forgetReviews();

    QDateTime tipNextAt;
    int tipSentOcr = 0;
    std::optional<Workspace> tipWS;
    std::optional<Suggestion> tipSuggest;
    bool tipBusy = false;
    bool tipsOff = false;
    // Bumped at every start and stop, so that a request of an earlier recording writes nothing.
    quint64 tipGeneration = 0;
    std::vector<ReviewWatch> reviews;
    std::optional<Ports::Scheduler::Id> reviewTimer;
    std::optional<double> voiceAt;
    std::weak_ptr<Recorder> voiceRec;
    std::optional<Ports::Scheduler::Id> voicePoll;
    // The end-of-day run on screen, and the pending wait of its poll.
    std::shared_ptr<WrapModel> wrapModel;
    std::optional<Ports::Scheduler::Id> wrapTimer;
    quint64 wrapGeneration = 0;

private:
    void showTip(const LiveTip& tip);
    void askTip(const std::shared_ptr<Recorder>& rec, Recorder::LiveSnapshot snapshot);
    void sendTip(const std::shared_ptr<Recorder>& rec, const Recorder::LiveSnapshot& snapshot);
    void handleVoice(const QString& text);
    void saveVoiceNote(const QString& note, const std::weak_ptr<Recorder>& rec, std::optional<double> t);
    void addVoiceCard(const QString& text, const Workspace& ws, const API& api);
    bool runningIs(const std::weak_ptr<Recorder>& rec) const;
    void wrapPoll(quint64 generation, const QString& day, const API& api, int answers);
    void wrapFailed(quint64 generation, const std::exception_ptr& error);
    void reviewAnswer(const ReviewWatch& watch, const std::optional<QJsonObject>& detail, std::exception_ptr error);
    void cardAdded(const QString& title, const QString& to, const ReviewRef& review, bool privateNote);
    bool keepPrivateNote(const QString& title, const std::optional<QString>& why);
    Ports::Grabs& grabs();
    // The queued pins become one session, which is then filed.
    void sendPins();
    bool voiceClickMode_ = false;
    double voiceStarted_ = 0;
    // Receives the settings' and the work-day uploads' signals on the main thread.
    QObject flowContext_;
    bool watchingSignOut_ = false;

public:
    // --- Account, sign-in, menu and to-dos (Account.cpp, MenuBuild.cpp, Todos.cpp)

    // Opens the settings window and starts a device sign-in unless signed in.
    void startSignIn();
    // After a device sign-in, once the new account is applied: to-dos, and the
    // recordings that waited for an account go up.
    void signInFinished();
    // The settings window's handlers.
    void settingsChanged();
    void signOut();
    // The menu's to-do buttons: start or finish on the to-do's server.
    void todoAction(const Todo& todo, bool start);
    // A workspace's board, or the general board.
    void openBoard(const std::optional<Workspace>& ws);
    // A page of the platform (a path such as "/app/start"), through the board.
    void openPlatform(const QString& path);
    // Finished recordings still on disk, as the menu shows them. Cached until
    // the recordings folder or one of their folders changes.
    const std::vector<std::shared_ptr<Session>>& pendingSessions();
    // Drops the cached list; the next read goes to disk.
    void sessionsChanged();
    // Bumped by every sign-in and sign-out: an account answer asked for under
    // an older generation is dropped.
    quint64 accountGeneration = 0;

    // What the menu reads of the filing, upload and review flows.
    struct UploadState {
        enum class Kind { idle, busy, saved, failed };
        Kind kind = Kind::idle;
        QString text;            // busy: the text; saved and failed: the title
        std::optional<QUrl> url; // saved: the session's page
        QString reason;          // failed
    };
    struct Choice {
        bool personal = false;
        std::optional<Workspace> ws;
        QString label;
        bool suggested = false;
    };
    UploadState upload;
    QSet<QString> uploading;
    QSet<QString> routing;
    QMap<QString, std::vector<RouteResult>> routeScores;
    QMap<QString, Suggestion> routeSuggest;
    std::vector<Choice> whereChoices(const Session& session);
    void choose(const std::shared_ptr<Session>& session, const Choice& choice);
    void finish(const std::shared_ptr<Session>& session);
    // --- end of account, sign-in, menu and to-dos

    // --- The main road: recording, filing and upload (Recording.cpp, Filing.cpp, Upload.cpp).
    // The where-question waits this long (ZELVAN_ASK_SECONDS, else 120), read afresh each time.
    static double askSeconds();
    // A stop that makes no progress for this long is given up as interrupted.
    static constexpr double stopWatchdogSeconds = 60;
    void askWhere(const std::shared_ptr<Session>& session);
    void applyPersonal(const std::shared_ptr<Session>& session, const QString& why);
    void applyProject(const std::shared_ptr<Session>& session, const Workspace& ws,
                      const std::optional<RouteResult>& result, bool autoFiled);
    void decided(const std::shared_ptr<Session>& session);
    void uploadSession(const std::shared_ptr<Session>& session);
    void uploadPersonal(const std::shared_ptr<Session>& session, bool quiet);
    void signInNudge(const std::shared_ptr<Session>& session);
    QDateTime lastPersonalTry;
    std::optional<Ports::Scheduler::Id> stopWatchdog;
    // --- end of the main road

    // Identifiers the status item's icon and tooltip use.
    static const QString idleToolTip;
    static const QString recordingToolTip;

    const QStringList& args() const { return args_; }
    const AppPorts& ports() const { return ports_; }

private:
    AppController(Accounts& accounts, AppPorts ports, QStringList args);

    using Lane = Ports::Worker::Lane;
    // The one way off the main thread: runs `work` on `lane`, then `done` on the
    // main thread while the controller lives. `done` takes the controller and,
    // when it asks for it, what `work` threw (null when it returned); a throw it
    // does not ask for is logged and `done` runs all the same, so the flow's
    // flags are always cleared.
    template <typename Work, typename Done>
    void background(Lane lane, Work work, Done done)
    {
        ports_.worker->run(lane, std::move(work),
                           [weak = weak_from_this(), done = std::move(done)](std::exception_ptr error) mutable {
                               auto self = weak.lock();
                               if (!self)
                                   return;
                               if constexpr (std::is_invocable_v<Done&, AppController&, std::exception_ptr>) {
                                   done(*self, std::move(error));
                               } else {
                                   if (error)
                                       uncaught(error);
                                   done(*self);
                               }
                           });
    }
    static void uncaught(const std::exception_ptr& error);

    // Runs fn with the controller while it lives.
    template <typename F>
    auto weakly(F fn)
    {
        return [weak = weak_from_this(), fn](auto&&... a) {
            if (auto self = weak.lock())
                fn(*self, std::forward<decltype(a)>(a)...);
        };
    }
    template <typename F>
    std::function<bool()> weakQuery(F fn)
    {
        return [weak = weak_from_this(), fn]() {
            auto self = weak.lock();
            return self ? fn(*self) : false;
        };
    }

    void wireCallbacks();
    void registerHotKeys();
    void wireCallDetector();
    void callStarted(const Ports::CallHit& hit);
    void callEnded();
    void startTimers();
    void handleLaunchSwitches();
    void dumpMenuLater(double delay);
    void begin(const std::optional<Ports::CallHit>& hit, bool mic);
    void saved(const std::shared_ptr<Session>& session);
    // A save has ended, finished or given up. True when a quit waited for it:
    // the process is then ending.
    bool saveEnded();
    // The main road's private steps.
    void startWithMic(const std::optional<Ports::CallHit>& hit, bool micAvailable);
    void micDenied(const std::optional<Ports::CallHit>& hit);
    void startFailed(const std::shared_ptr<Session>& session, const QString& error, bool screenOK);
    void recordingTick();
    void sampleRecordingApp(const std::shared_ptr<Recorder>& rec);
    void stopHung(const QString& dir);
    quint64 stopProgressOf(const Recorder& rec) const;
    void watchStop(quint64 generation, const QString& folder, const std::weak_ptr<Recorder>& rec, quint64 seen);
    // The capture's stream failed: says so and saves what was recorded.
    void streamStopped(const QString& message);
    void uploadProject(const std::shared_ptr<Session>& session, const Workspace& ws, const API& api);
    void uploadProgress(const QString& key, const QString& step);
    // An upload's progress handler for the session `key`, called on any thread.
    std::function<void(const QString&)> progressTo(const QString& key);
    void whenUploaded(const QString& key, std::function<void(AppController&)> then);
    void retryPersonalStep(const QStringList& candidates, qsizetype i, bool force);
    void retryUploadsWait();
    QString recordingDir_;
    quint64 stopGeneration_ = 0;
    void terminate();
    void uiLog(const QString& message);

    AppPorts ports_;
    QStringList args_;
    // Account, menu and to-dos.
    void menuAttention(MenuState& s, MenuModel& m);
    void menuUpNext(MenuState& s, MenuModel& m);
    std::optional<std::vector<std::shared_ptr<Session>>> pending_;
    // The controller's own state the cached list was read under; a flow that
    // routes, asks or uploads changes it, and the list is read again.
    QStringList pendingState() const;
    QStringList pendingState_;
    std::unique_ptr<QFileSystemWatcher> pendingWatch_;
    quint64 todoGeneration_ = 0;
    std::unique_ptr<Coach> coach_;
    bool terminating_ = false;
    // Set once the process is ending; long jobs off the main thread read it at
    // their resumable points and stop there.
    std::shared_ptr<std::atomic<bool>> ending_ = std::make_shared<std::atomic<bool>>(false);
};
