// The host's clock behind the Clock interface.
#include "platform/clock.h"

#include "platform/platform.h"

namespace zim::platform {

uint64_t SystemClock::ticks() const
{
    return tickCount();
}

void SystemClock::sleep(unsigned ms)
{
    sleepMs(ms);
}

} // namespace zim::platform
