// Ctrl-C through the system's signal handlers.
#include "platform/interruptguard.h"

#include <QtGlobal>

#if defined(Q_OS_UNIX)
#include <csignal>
#endif

namespace zim::platform {

namespace {

// The guard that takes the next press. Guards are made and dropped on the main thread; the
// handler only reads this.
std::atomic<InterruptGuard *> innermost{nullptr};

static_assert(std::atomic<int>::is_always_lock_free && std::atomic<InterruptGuard *>::is_always_lock_free,
              "the Ctrl-C handler may touch only lock-free atomics");

} // namespace

#if defined(Q_OS_UNIX)

InterruptGuard::InterruptGuard(Repeat repeat)
    : m_repeat(repeat), m_outer(innermost.load())
{
    innermost.store(this);
    m_previous = std::signal(SIGINT, onInterrupt);
}

InterruptGuard::~InterruptGuard()
{
    if (innermost.load() == this) {
        innermost.store(m_outer);
        std::signal(SIGINT, m_previous == SIG_ERR ? SIG_DFL : m_previous);
        return;
    }
    // Dropped before a guard made after it: that guard inherits what this one would have
    // restored.
    for (InterruptGuard *inner = innermost.load(); inner; inner = inner->m_outer) {
        if (inner->m_outer == this) {
            inner->m_outer = m_outer;
            inner->m_previous = m_previous;
            return;
        }
    }
}

void InterruptGuard::press()
{
    m_presses.fetch_add(1, std::memory_order_relaxed);
    if (m_repeat == SecondPressEnds)
        std::signal(SIGINT, SIG_DFL);
}

void InterruptGuard::onInterrupt(int)
{
    if (InterruptGuard *guard = innermost.load())
        guard->press();
}

#else

InterruptGuard::InterruptGuard(Repeat repeat)
    : m_repeat(repeat), m_outer(innermost.load())
{
}

InterruptGuard::~InterruptGuard() = default;

void InterruptGuard::press()
{
    m_presses.fetch_add(1, std::memory_order_relaxed);
}

void InterruptGuard::onInterrupt(int)
{
}

#endif

InterruptScope::InterruptScope() = default;
InterruptScope::~InterruptScope() = default;

InterruptScope::Entry::Entry(InterruptScope &scope) : m_scope(scope)
{
    if (m_scope.m_depth++ == 0) {
        m_scope.m_interrupted = false;
        m_scope.m_guard = std::make_unique<InterruptGuard>(InterruptGuard::CountEveryPress);
    }
}

InterruptScope::Entry::~Entry()
{
    if (--m_scope.m_depth == 0) {
        m_scope.m_interrupted = m_scope.m_guard->interrupted();
        m_scope.m_guard.reset();
    }
}

} // namespace zim::platform
