// InterruptGuard: catches Ctrl-C while it lives, so that a long run can end cleanly.
#pragma once

#include <atomic>

namespace zim::platform {

// Guards nest: a press goes to the guard made last. Each restores, when it goes, what the
// guard or handler before it did with Ctrl-C.
class InterruptGuard
{
public:
    enum Repeat {
        CountEveryPress,   // every press is caught and counted
        SecondPressEnds,   // after the first press, the next one ends the process the ordinary way
    };

    explicit InterruptGuard(Repeat repeat);
    ~InterruptGuard();

    InterruptGuard(const InterruptGuard &) = delete;
    InterruptGuard &operator=(const InterruptGuard &) = delete;

    // Whether Ctrl-C was pressed since this guard was made; cheap enough for every call.
    bool interrupted() const { return m_presses.load(std::memory_order_relaxed) != 0; }
    int presses() const { return m_presses.load(std::memory_order_relaxed); }

    // Counts a press as the handler does; for tests, which cannot press the keys.
    void press();

private:
    static void onInterrupt(int);

    Repeat m_repeat;
    std::atomic<int> m_presses{0};
    InterruptGuard *m_outer;
    // What the system did with Ctrl-C before this guard.
    void (*m_previous)(int) = nullptr;
};

} // namespace zim::platform
