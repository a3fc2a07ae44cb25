// InterruptGuard: catches Ctrl-C while it lives, so that a long run can end cleanly.
#pragma once

#include <atomic>
#include <memory>

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

// Ctrl-C over nested work, such as a script that causes a reset whose script runs inside it:
// the outermost Entry takes Ctrl-C with a guard that counts every press, the entries inside it
// share that guard, and whether a press came is kept after the outermost entry ends, until the
// next one begins.
class InterruptScope
{
public:
    class Entry
    {
    public:
        explicit Entry(InterruptScope &scope);
        ~Entry();
        Entry(const Entry &) = delete;
        Entry &operator=(const Entry &) = delete;

        bool outermost() const { return m_scope.m_depth == 1; }

    private:
        InterruptScope &m_scope;
    };

    InterruptScope();
    ~InterruptScope();

    // Whether Ctrl-C came during the running outermost entry, or else during the last one.
    bool interrupted() const { return m_guard ? m_guard->interrupted() : m_interrupted; }

private:
    int m_depth = 0;
    std::unique_ptr<InterruptGuard> m_guard;
    bool m_interrupted = false;
};

} // namespace zim::platform
