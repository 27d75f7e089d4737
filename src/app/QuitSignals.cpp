#include "app/QuitSignals.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <thread>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int fds[2] = {-1, -1};

void handler(int)
{
    const char c = 1;
    [[maybe_unused]] const ssize_t n = ::write(fds[0], &c, 1);
}

} // namespace

void QuitSignals::endWithin(double seconds, int code)
{
    std::thread([seconds, code] {
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
        static const char line[] = "[Zelvan] quit: the tear-down hung, ending now\n";
        [[maybe_unused]] const ssize_t n = ::write(STDERR_FILENO, line, sizeof line - 1);
        ::_exit(code);
    }).detach();
}

void QuitSignals::endNow(int code)
{
    std::fflush(nullptr);
    ::_exit(code);
}

QuitSignals::QuitSignals(std::function<void()> onQuit)
    : onQuit_(std::move(onQuit))
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, fds) != 0)
        return;
    notifier_ = std::make_unique<QSocketNotifier>(fds[1], QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, [this] {
        char buf[16];
        while (::read(fds[1], buf, sizeof buf) > 0) {}
        if (onQuit_)
            onQuit_();
    });
    struct sigaction sa = {};
    sa.sa_handler = handler;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &sa, nullptr);
    ::sigaction(SIGINT, &sa, nullptr);
}

QuitSignals::~QuitSignals()
{
    ::signal(SIGTERM, SIG_DFL);
    ::signal(SIGINT, SIG_DFL);
    notifier_.reset();
    for (int& fd : fds)
        if (fd >= 0) {
            ::close(fd);
            fd = -1;
        }
}
