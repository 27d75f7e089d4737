#include "app/QtPorts.h"

#include "core/Net.h"
#include "platform/OwnWindows.h"
#include "platform/ScreenCapture.h"
#include "ui/StatusIcon.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDesktopServices>
#include <QFuture>
#include <QGridLayout>
#include <QMessageBox>
#include <QSpacerItem>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWindow>
#include <QtConcurrent/QtConcurrentRun>
#include <cstdio>

QtScheduler::~QtScheduler()
{
    for (auto& [id, timer] : timers_)
        delete timer.data();
}

Ports::Scheduler::Id QtScheduler::add(double seconds, bool repeat, std::function<void()> fn)
{
    const Id id = next_++;
    auto* timer = new QTimer(&context_);
    timer->setTimerType(Qt::PreciseTimer);
    timer->setSingleShot(!repeat);
    timer->setInterval(int(seconds * 1000));
    QObject::connect(timer, &QTimer::timeout, &context_, [this, id, repeat, fn = std::move(fn)] {
        if (!repeat)
            cancel(id);
        fn();
    });
    timers_[id] = timer;
    timer->start();
    return id;
}

Ports::Scheduler::Id QtScheduler::every(double seconds, std::function<void()> fn)
{
    return add(seconds, true, std::move(fn));
}

Ports::Scheduler::Id QtScheduler::after(double seconds, std::function<void()> fn)
{
    return add(seconds, false, std::move(fn));
}

void QtScheduler::post(std::function<void()> fn)
{
    QMetaObject::invokeMethod(&context_, std::move(fn), Qt::QueuedConnection);
}

void QtScheduler::cancel(Id id)
{
    const auto it = timers_.find(id);
    if (it == timers_.end())
        return;
    if (it->second) {
        it->second->stop();
        // The timer may be the one calling: delete it once its signal is done.
        it->second->deleteLater();
    }
    timers_.erase(it);
}

QtWorker::QtWorker()
{
    // A stop and the next start with its checks may run at once.
    capture_.setMaxThreadCount(3);
    capture_.setObjectName(QStringLiteral("zelvan.recorder"));
    transfer_.setMaxThreadCount(2);
    transfer_.setObjectName(QStringLiteral("zelvan.transfer"));
    local_.setMaxThreadCount(4);
    local_.setObjectName(QStringLiteral("zelvan.local"));
}

QtWorker::~QtWorker() = default;

QThreadPool& QtWorker::pool(Lane lane)
{
    switch (lane) {
    case Lane::capture:
        return capture_;
    case Lane::network:
        return Net::pool();
    case Lane::transfer:
        return transfer_;
    case Lane::local:
        break;
    }
    return local_;
}

void QtWorker::run(Lane lane, std::function<void()> work, std::function<void(std::exception_ptr)> done)
{
    // Ending: nothing new starts.
    if (closed_)
        return;
    QtConcurrent::run(&pool(lane), [work = std::move(work)]() -> std::exception_ptr {
        try {
            work();
        } catch (...) {
            return std::current_exception();
        }
        return nullptr;
    }).then(&context_, [done = std::move(done)](std::exception_ptr error) { done(std::move(error)); });
}

bool QtWorker::finish(int msecs)
{
    closed_ = true;
    const QDeadlineTimer deadline(msecs);
    bool idle = true;
    for (QThreadPool* p : {&capture_, &transfer_, &local_}) {
        p->clear();
        idle = p->waitForDone(int(deadline.remainingTime())) && idle;
    }
    return Net::pool().waitForDone(int(deadline.remainingTime())) && idle;
}

TrayStatusItem::TrayStatusItem(Painter painter)
    : painter_(std::move(painter))
{
}

TrayStatusItem::~TrayStatusItem()
{
    delete tray_;
}

void TrayStatusItem::create()
{
    if (tray_)
        return;
    tray_ = new QSystemTrayIcon();
    // Left and right clicks alike open or close the popover.
    QObject::connect(tray_, &QSystemTrayIcon::activated, tray_, [this](QSystemTrayIcon::ActivationReason reason) {
        if ((reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::Context) && onClick)
            onClick();
    });
    tray_->setIcon(painter_(false, true));
    tray_->show();
}

void TrayStatusItem::setIcon(bool recording, bool dot)
{
    if (tray_)
        tray_->setIcon(painter_(recording, dot));
}

void TrayStatusItem::setTitle(const QString& title)
{
    title_ = title.trimmed();
    refreshToolTip();
}

void TrayStatusItem::setToolTip(const QString& text)
{
    toolTip_ = text;
    refreshToolTip();
}

void TrayStatusItem::refreshToolTip()
{
    if (tray_)
        tray_->setToolTip(title_.isEmpty() ? toolTip_ : title_ + u'\n' + toolTip_);
}

std::optional<QRect> TrayStatusItem::geometry() const
{
    // An XEmbed tray may report a rectangle that is not where the icon shows.
    const QRect anchor = tray_ ? StatusIcon::popoverAnchor(*tray_) : QRect();
    if (anchor.isEmpty())
        return std::nullopt;
    return anchor;
}

void DesktopApplication::terminate()
{
    QCoreApplication::exit(0);
}

void DesktopApplication::print(const QString& line)
{
    std::fputs((line + u'\n').toUtf8().constData(), stdout);
    std::fflush(stdout);
}

bool DesktopApplication::openSoundSettings()
{
    for (const QStringList& command : {QStringList{"gnome-control-center", "sound"}, QStringList{"pavucontrol"}}) {
        if (QStandardPaths::findExecutable(command.first()).isEmpty())
            continue;
        if (QProcess::startDetached(command.first(), command.mid(1)))
            return true;
    }
    return false;
}

void DesktopApplication::openInBrowser(const QUrl& url)
{
    if (url.scheme() == u"https" || url.scheme() == u"http")
        QDesktopServices::openUrl(url);
}

int DesktopApplication::ask(const QString& title, const QString& text, const QStringList& buttons)
{
    QMessageBox box;
    box.setWindowTitle(QStringLiteral("Zelvan")); // not the executable’s name
    box.setText(title);
    // Errors come as sentences' ends ("cannot create …"): shown, they start a sentence.
    QString shown = text;
    if (!shown.isEmpty())
        shown[0] = shown[0].toUpper();
    box.setInformativeText(shown);
    // Wide enough that a folder's path reads on a few lines, not one word per line.
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout()))
        grid->addItem(new QSpacerItem(420, 0, QSizePolicy::Minimum, QSizePolicy::Expanding), grid->rowCount(), 0, 1,
                      grid->columnCount());
    std::vector<QAbstractButton*> made;
    for (const QString& b : buttons)
        made.push_back(box.addButton(b, made.empty() ? QMessageBox::AcceptRole : QMessageBox::RejectRole));
    if (!made.empty())
        box.setDefaultButton(static_cast<QPushButton*>(made.front()));
    box.exec();
    for (size_t i = 0; i < made.size(); ++i)
        if (box.clickedButton() == made[i])
            return int(i);
    return -1;
}

std::optional<QRect> OwnWindowList::excludedVisibleFrame() const
{
    for (QWindow* w : QGuiApplication::topLevelWindows()) {
        if (!w->isVisible())
            continue;
        try {
            if (ScreenCapture::isExcluded(w->winId()))
                return w->frameGeometry();
        } catch (const std::exception&) {
        }
    }
    return std::nullopt;
}

void OwnWindowList::sync()
{
    OwnWindows::sync();
}
