#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <functional>
#include <memory>

// SIGTERM and SIGINT become a call on the main thread (through a socket pair, the
// only safe way out of a signal handler), so that a plain `kill` quits as cleanly
// as the menu does.
class QuitSignals : public QObject {
    Q_OBJECT

public:
    explicit QuitSignals(std::function<void()> onQuit);
    ~QuitSignals() override;

private:
    std::function<void()> onQuit_;
    std::unique_ptr<QSocketNotifier> notifier_;
};
