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

    // Ends the process with `code` if it still runs `seconds` from now: the last
    // guard of a quit, against a tear-down that hangs.
    static void endWithin(double seconds, int code);
    // Ends the process with `code` at once: no destructor runs and nothing is
    // waited for. Standard output and error are flushed first.
    [[noreturn]] static void endNow(int code);

private:
    std::function<void()> onQuit_;
    std::unique_ptr<QSocketNotifier> notifier_;
};
