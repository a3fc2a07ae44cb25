// The system clock that hardware waits use.
#include "platform/clock.h"

#include <gtest/gtest.h>

namespace {

TEST(SystemClock, SleepLastsAtLeastItsTime)
{
    zim::platform::SystemClock clock;
    const uint64_t before = clock.ticks();
    clock.sleep(2);
    EXPECT_GE(clock.ticks() - before, 2u);
}

} // namespace
