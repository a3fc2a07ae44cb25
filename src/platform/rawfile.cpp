// File descriptors through the system's own calls.
#include "platform/rawfile.h"

#include <QtGlobal>
#include <cerrno>

#if defined(Q_OS_UNIX)
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace zim::platform {

#if defined(Q_OS_UNIX)

std::ptrdiff_t writeFile(int fd, const void *buffer, size_t size)
{
    return ::write(fd, buffer, size);
}

int openWriteThrough(const QByteArray &path)
{
    return ::open(path.constData(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
}

int createTemporaryFile(QByteArray &pattern)
{
    return ::mkostemp(pattern.data(), O_CLOEXEC);
}

bool setFileMode(int fd, unsigned mode)
{
    return ::fchmod(fd, mode_t(mode)) == 0;
}

bool syncFile(int fd)
{
    return ::fsync(fd) == 0;
}

bool closeFile(int fd)
{
    return ::close(fd) == 0;
}

bool renameFile(const QByteArray &from, const QByteArray &to)
{
    return ::rename(from.constData(), to.constData()) == 0;
}

bool removeFile(const QByteArray &path)
{
    return ::unlink(path.constData()) == 0;
}

#else

namespace {

template<typename T>
T unsupported(T result)
{
    errno = ENOSYS;
    return result;
}

} // namespace

std::ptrdiff_t writeFile(int, const void *, size_t) { return unsupported(std::ptrdiff_t(-1)); }
int openWriteThrough(const QByteArray &) { return unsupported(-1); }
int createTemporaryFile(QByteArray &) { return unsupported(-1); }
bool setFileMode(int, unsigned) { return unsupported(false); }
bool syncFile(int) { return unsupported(false); }
bool closeFile(int) { return unsupported(false); }
bool renameFile(const QByteArray &, const QByteArray &) { return unsupported(false); }
bool removeFile(const QByteArray &) { return unsupported(false); }

#endif

} // namespace zim::platform
