#include "platform/Timer.h"

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <chrono>

namespace platform {
namespace {

class SystemClock : public Clock {
public:
    std::int64_t MonotonicMs() override {
        using namespace std::chrono;
        return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    }
    UnixSeconds Now() override { return NowSeconds(); }
};

SystemClock systemClock;
Clock* installedClock = nullptr;
TimerMaker installedMaker;

// QTimer in single-shot mode, re-armed before every tick so that the handler
// can stop it or destroy it.
class QtTimer : public Timer {
public:
    QtTimer() : timer_(new QTimer) {
        timer_->setSingleShot(true);
        timer_->setTimerType(Qt::PreciseTimer);
        QObject::connect(timer_, &QTimer::timeout, [this] { Tick(); });
    }
    ~QtTimer() override {
        timer_->stop();
        QObject::disconnect(timer_, nullptr, nullptr, nullptr);
        timer_->deleteLater(); // we may be inside its timeout signal
    }
    void SetInterval(int ms) override {
        interval_ = ms < 0 ? 0 : ms;
        if (enabled_ && !soonArmed_) timer_->start(interval_);
    }
    int Interval() const override { return interval_; }
    void SetEnabled(bool on) override {
        if (on == enabled_) return;
        enabled_ = on;
        if (!on) {
            timer_->stop();
            soonArmed_ = false;
            return;
        }
        soonArmed_ = soonPending_;
        timer_->start(soonPending_ ? 0 : interval_);
        soonPending_ = false;
    }
    bool Enabled() const override { return enabled_; }
    void FireSoon() override {
        if (!enabled_) {
            soonPending_ = true;
            return;
        }
        if (soonArmed_) return;
        soonArmed_ = true;
        timer_->start(0);
    }

private:
    void Tick() {
        soonArmed_ = false;
        if (!enabled_) return;
        timer_->start(interval_);
        // The handler may destroy this object (and OnTimer with it): it runs
        // from a copy, and nothing of ours is touched after it.
        if (std::function<void()> handler = OnTimer) handler();
    }

    QTimer* timer_;
    int interval_ = 1000;
    bool enabled_ = false;
    bool soonPending_ = false;
    bool soonArmed_ = false;
};

} // namespace

Clock& CurrentClock() {
    return installedClock ? *installedClock : systemClock;
}
void SetClock(Clock* clock) {
    installedClock = clock;
}

ManualClock::ManualClock() : wallStart_(NowSeconds()) {}

std::unique_ptr<Timer> MakeTimer() {
    if (installedMaker) return installedMaker();
    return std::make_unique<QtTimer>();
}
void SetTimerMaker(TimerMaker maker) {
    installedMaker = std::move(maker);
}

} // namespace platform
