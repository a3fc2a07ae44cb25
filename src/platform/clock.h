// Millisecond ticks and sleeps behind an interface, so that code which waits on hardware can
// be driven by a clock that costs no real time in tests.
#pragma once

#include <cstdint>

namespace zim::platform {

class Clock
{
public:
    virtual ~Clock() = default;
    // Milliseconds from an arbitrary fixed point; only differences are meaningful.
    virtual uint64_t ticks() const = 0;
    // Returns after at least ms milliseconds of this clock have passed.
    virtual void sleep(unsigned ms) = 0;
};

// The host's monotonic clock: tickCount() and sleepMs().
class SystemClock final : public Clock
{
public:
    uint64_t ticks() const override;
    void sleep(unsigned ms) override;
};

} // namespace zim::platform
