#pragma once

#include "app/AppPorts.h"

#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QThreadPool>
#include <functional>
#include <map>

class QSystemTrayIcon;
class QTimer;

// The real scheduler: Qt timers on the main thread.
class QtScheduler final : public Ports::Scheduler {
public:
    ~QtScheduler() override;
    Id every(double seconds, std::function<void()> fn) override;
    Id after(double seconds, std::function<void()> fn) override;
    void post(std::function<void()> fn) override;
    void cancel(Id id) override;

private:
    Id add(double seconds, bool repeat, std::function<void()> fn);
    QObject context_;
    std::map<Id, QPointer<QTimer>> timers_;
    Id next_ = 1;
};

// Blocking work on pools of our own, one per lane (the network's is
// Net::pool()), answered on the main thread. Never Qt's shared pool: the
// application waits for that one without bound as it ends.
class QtWorker final : public Ports::Worker {
public:
    QtWorker();
    // Waits for the work still running; finish() bounds that wait.
    ~QtWorker() override;
    void run(Lane lane, std::function<void()> work, std::function<void(std::exception_ptr)> done) override;
    // The quit: takes no more work, drops what waits for a thread, and waits up
    // to `msecs` for what runs, the network pool's requests too. Whether all
    // of it has ended; a job still running holds on to what it uses.
    bool finish(int msecs);

private:
    QThreadPool& pool(Lane lane);
    QObject context_;
    QThreadPool capture_;
    QThreadPool transfer_;
    QThreadPool local_;
    bool closed_ = false;
};

// The tray icon. Its tooltip carries the clock, since a tray shows no title.
class TrayStatusItem final : public Ports::StatusItem {
public:
    // Draws the tray's image: the recording form with or without its dot, or the idle one.
    using Painter = std::function<QIcon(bool recording, bool dot)>;
    explicit TrayStatusItem(Painter painter);
    ~TrayStatusItem() override;
    void create() override;
    void setIcon(bool recording, bool dot) override;
    void setTitle(const QString& title) override;
    void setToolTip(const QString& text) override;
    QString toolTip() const override { return toolTip_; }
    std::optional<QRect> geometry() const override;

private:
    void refreshToolTip();
    Painter painter_;
    QSystemTrayIcon* tray_ = nullptr;
    QString title_;
    QString toolTip_;
};

// The running QApplication.
class DesktopApplication final : public Ports::Application {
public:
    void terminate() override;
    void print(const QString& line) override;
    bool openSoundSettings() override;
    int ask(const QString& title, const QString& text, const QStringList& buttons) override;
    void openInBrowser(const QUrl& url) override;
};

// Our top-level windows as the X server sees them.
class OwnWindowList final : public Ports::Windows {
public:
    std::optional<QRect> excludedVisibleFrame() const override;
    void sync() override;
};
