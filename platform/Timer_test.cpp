#include "platform/Timer.h"
#include "platform/testing/EventLoop.h"

#include <gtest/gtest.h>

using platform::testing::RunUntil;

TEST(Timer, ImmediateTicksAndDestructionInsideTheHandler) {
    platform::testing::App();
    auto t = platform::MakeTimer();
    t->SetInterval(600000);
    int ticks = 0;
    t->OnTimer = [&] { ++ticks; };
    t->FireSoon(); // asked for while disabled: kept for the enable
    EXPECT_EQ(ticks, 0);
    t->SetEnabled(true);
    ASSERT_TRUE(RunUntil([&] { return ticks == 1; }, 5000));
    t->FireSoon();
    t->FireSoon(); // one tick, not two
    ASSERT_TRUE(RunUntil([&] { return ticks == 2; }, 5000));
    platform::testing::RunFor(50);
    EXPECT_EQ(ticks, 2) << "after an immediate tick the period applies again";
    t->SetEnabled(false);
    t->FireSoon();
    platform::testing::RunFor(50);
    EXPECT_EQ(ticks, 2);

    auto owned = platform::MakeTimer();
    owned->SetInterval(1);
    bool gone = false;
    owned->OnTimer = [&] {
        owned.reset();
        gone = true;
    };
    owned->SetEnabled(true);
    ASSERT_TRUE(RunUntil([&] { return gone; }, 5000));
}

TEST(Timer, ManualClockAndInstalledMaker) {
    platform::ManualClock clock;
    {
        platform::ScopedClock use(&clock);
        const auto wall = platform::CurrentClock().Now();
        const auto mono = platform::CurrentClock().MonotonicMs();
        clock.Advance(61500);
        EXPECT_EQ(platform::CurrentClock().Now(), wall + 61);
        EXPECT_EQ(platform::CurrentClock().MonotonicMs(), mono + 61500);
    }
    EXPECT_NE(&platform::CurrentClock(), &clock);
    int made = 0;
    platform::SetTimerMaker([&]() -> std::unique_ptr<platform::Timer> {
        ++made;
        return nullptr;
    });
    EXPECT_EQ(platform::MakeTimer(), nullptr);
    EXPECT_EQ(made, 1);
    platform::SetTimerMaker({});
    EXPECT_NE(platform::MakeTimer(), nullptr);
}
