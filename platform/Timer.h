#pragma once
// Timers and the clock the engine measures time with. Both are replaceable so
// that tests can drive retry delays, inactivity limits and rate figures
// without waiting.
#include "platform/DateTimeText.h"

#include <cstdint>
#include <functional>
#include <memory>

namespace platform {

class Clock {
public:
    virtual ~Clock() = default;
    // Monotonic milliseconds, for intervals.
    virtual std::int64_t MonotonicMs() = 0;
    // Wall-clock seconds, for moments that are stored as date-time text.
    virtual UnixSeconds Now() = 0;
};

// The clock in use: the system clock unless a test installed another.
Clock& CurrentClock();
// Installs `clock` (not owned); null restores the system clock.
void SetClock(Clock* clock);

// A clock that moves only when told to; starts at the system's wall time.
class ManualClock : public Clock {
public:
    ManualClock();
    std::int64_t MonotonicMs() override { return ms_; }
    UnixSeconds Now() override { return wallStart_ + ms_ / 1000; }
    void Advance(std::int64_t ms) { ms_ += ms; }

private:
    UnixSeconds wallStart_;
    std::int64_t ms_ = 0;
};

// Installs a clock for the lifetime of the object.
class ScopedClock {
public:
    explicit ScopedClock(Clock* clock) { SetClock(clock); }
    ~ScopedClock() { SetClock(nullptr); }
    ScopedClock(const ScopedClock&) = delete;
    ScopedClock& operator=(const ScopedClock&) = delete;
};

// A periodic timer delivered by the event loop. It may be destroyed from
// inside its own handler.
class Timer {
public:
    virtual ~Timer() = default;
    virtual void SetInterval(int ms) = 0;
    virtual int Interval() const = 0;
    // Enabling starts a full period (or an immediate tick when one was asked
    // for while disabled); disabling stops it.
    virtual void SetEnabled(bool on) = 0;
    virtual bool Enabled() const = 0;
    // The next tick comes at once instead of after the interval; while the
    // timer is disabled the request is kept for the next enable.
    virtual void FireSoon() = 0;

    std::function<void()> OnTimer;
};

using TimerMaker = std::function<std::unique_ptr<Timer>()>;
// A new disabled timer from the installed maker (QTimer-based by default).
std::unique_ptr<Timer> MakeTimer();
// Installs a maker; an empty one restores the default.
void SetTimerMaker(TimerMaker maker);

} // namespace platform
