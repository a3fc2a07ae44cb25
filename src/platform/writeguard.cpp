// The write guard through the system's signal handlers.
#include "platform/writeguard.h"

#include "platform/rawfile.h"

#include <QtGlobal>
#include <cerrno>

#if defined(Q_OS_UNIX)
#include <climits>
#include <csignal>
#include <cstring>
#include <unistd.h>
#endif

namespace zim::platform {

#if defined(Q_OS_UNIX)

namespace {

constexpr int kIgnored[] = {SIGPIPE, SIGXFSZ};
constexpr int kEnding[] = {SIGTERM, SIGHUP, SIGINT};

// What the handler may touch: a fixed buffer and a flag, set while the signals are blocked.
char temporaryPath[PATH_MAX];
volatile sig_atomic_t holdsPath = 0;
struct sigaction previousIgnored[2];
struct sigaction previousEnding[3];

void removeAndEnd(int signal)
{
    if (holdsPath)
        ::unlink(temporaryPath);
    // The default action ends the process once this handler returns.
    struct sigaction fallback = {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    ::sigaction(signal, &fallback, nullptr);
    ::raise(signal);
}

sigset_t endingSet()
{
    sigset_t set;
    sigemptyset(&set);
    for (int signal : kEnding)
        sigaddset(&set, signal);
    return set;
}

} // namespace

WriteGuard::WriteGuard()
{
    holdsPath = 0;
    struct sigaction ignore = {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    for (size_t i = 0; i < std::size(kIgnored); ++i)
        ::sigaction(kIgnored[i], &ignore, &previousIgnored[i]);
    struct sigaction remove = {};
    remove.sa_handler = removeAndEnd;
    remove.sa_mask = endingSet();
    for (size_t i = 0; i < std::size(kEnding); ++i) {
        ::sigaction(kEnding[i], nullptr, &previousEnding[i]);
        if (previousEnding[i].sa_handler != SIG_IGN)
            ::sigaction(kEnding[i], &remove, nullptr);
    }
}

WriteGuard::~WriteGuard()
{
    for (size_t i = 0; i < std::size(kEnding); ++i)
        ::sigaction(kEnding[i], &previousEnding[i], nullptr);
    for (size_t i = 0; i < std::size(kIgnored); ++i)
        ::sigaction(kIgnored[i], &previousIgnored[i], nullptr);
    holdsPath = 0;
}

int WriteGuard::createTemporaryFile(QByteArray &pattern)
{
    if (size_t(pattern.size()) >= sizeof temporaryPath) {
        errno = ENAMETOOLONG;
        return -1;
    }
    const sigset_t ending = endingSet();
    sigset_t before;
    ::sigprocmask(SIG_BLOCK, &ending, &before);
    const int fd = platform::createTemporaryFile(pattern);
    const int error = errno;
    if (fd >= 0) {
        std::memcpy(temporaryPath, pattern.constData(), size_t(pattern.size()) + 1);
        holdsPath = 1;
    }
    ::sigprocmask(SIG_SETMASK, &before, nullptr);
    errno = error;
    return fd;
}

void WriteGuard::release()
{
    holdsPath = 0;
}

#else

WriteGuard::WriteGuard() = default;
WriteGuard::~WriteGuard() = default;

int WriteGuard::createTemporaryFile(QByteArray &pattern)
{
    return platform::createTemporaryFile(pattern);
}

void WriteGuard::release()
{
}

#endif

} // namespace zim::platform
