// The fake clock that hardware waits are tested with, and the system clock it stands in for.
#include "fakes/fakeclock.h"
#include "platform/clock.h"

#include <gtest/gtest.h>

namespace {

using zim::fakes::FakeClock;

// The way hardware code waits: poll a condition every interval until a time-out.
bool pollUntil(zim::platform::Clock &clock, const std::function<bool()> &ready, unsigned interval, unsigned timeout)
{
    const uint64_t start = clock.ticks();
    while (!ready()) {
        if (clock.ticks() - start >= timeout)
            return false;
        clock.sleep(interval);
    }
    return true;
}

TEST(FakeClock, SleepAdvancesTicksAndIsRecorded)
{
    FakeClock clock(1000);
    clock.sleep(50);
    clock.sleep(250);
    clock.advance(3);
    EXPECT_EQ(clock.ticks(), 1303u);
    EXPECT_EQ(clock.sleeps(), (std::vector<unsigned>{50, 250}));
    EXPECT_EQ(clock.totalSlept(), 300u);
}

TEST(FakeClock, DeviceChangesStateWhileCodePolls)
{
    FakeClock clock;
    bool ready = false;
    clock.setOnAdvance([&](uint64_t now) { ready = now >= 1200; });
    EXPECT_TRUE(pollUntil(clock, [&] { return ready; }, 500, 5000));
    EXPECT_EQ(clock.sleeps(), (std::vector<unsigned>{500, 500, 500}));
}

TEST(FakeClock, LongTimeOutCostsNoRealTime)
{
    FakeClock clock;
    zim::platform::SystemClock real;
    const uint64_t before = real.ticks();
    // An hour of 50 ms polls against a device that never answers.
    EXPECT_FALSE(pollUntil(clock, [] { return false; }, 50, 3600u * 1000u));
    EXPECT_EQ(clock.ticks(), 3600u * 1000u);
    EXPECT_LT(real.ticks() - before, 60u * 1000u) << "the fake clock slept for real";
}

TEST(SystemClock, SleepLastsAtLeastItsTime)
{
    zim::platform::SystemClock clock;
    const uint64_t before = clock.ticks();
    clock.sleep(2);
    EXPECT_GE(clock.ticks() - before, 2u);
}

} // namespace
