// A clock for tests: sleeping advances its ticks at once and is recorded, so waits on
// hardware cost no real time and tests can check how long the code under test waited.
#pragma once

#include "platform/clock.h"

#include <functional>
#include <vector>

namespace zim::fakes {

class FakeClock final : public platform::Clock
{
public:
    explicit FakeClock(uint64_t start = 0) : m_now(start) {}

    uint64_t ticks() const override { return m_now; }
    void sleep(unsigned ms) override
    {
        m_sleeps.push_back(ms);
        advance(ms);
    }

    // Moves time forward without a sleep, as another thread's work would.
    void advance(uint64_t ms)
    {
        m_now += ms;
        if (m_onAdvance)
            m_onAdvance(m_now);
    }

    // Called with the new time after every advance: lets a fake device change its state
    // while the code under test polls it.
    void setOnAdvance(std::function<void(uint64_t now)> onAdvance) { m_onAdvance = std::move(onAdvance); }

    // Every sleep requested so far, in milliseconds, in order.
    const std::vector<unsigned> &sleeps() const { return m_sleeps; }
    uint64_t totalSlept() const
    {
        uint64_t total = 0;
        for (unsigned ms : m_sleeps)
            total += ms;
        return total;
    }

private:
    uint64_t m_now;
    std::vector<unsigned> m_sleeps;
    std::function<void(uint64_t)> m_onAdvance;
};

} // namespace zim::fakes
