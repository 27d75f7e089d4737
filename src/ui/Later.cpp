#include "ui/Later.h"

#include <QPointer>
#include <QTimer>
#include <cmath>

namespace {

class TimerHandle : public Later::Handle {
public:
    TimerHandle(double seconds, std::function<void()> run)
        : timer_(new QTimer)
    {
        timer_->setSingleShot(true);
        QObject::connect(timer_, &QTimer::timeout, timer_, std::move(run));
        timer_->start(int(std::lround(std::max(0.0, seconds) * 1000)));
    }
    ~TimerHandle() override { cancel(); }
    void cancel() override
    {
        if (timer_) {
            timer_->stop();
            timer_->deleteLater();
        }
        timer_.clear();
    }

private:
    QPointer<QTimer> timer_;
};

class MainLater : public Later {
public:
    std::unique_ptr<Handle> after(double seconds, std::function<void()> run) override
    {
        return std::make_unique<TimerHandle>(seconds, std::move(run));
    }
};

} // namespace

Later& Later::main()
{
    static MainLater instance;
    return instance;
}
