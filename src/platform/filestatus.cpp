// Examining the destination of a write through the system's file status calls.
#include "platform/filestatus.h"

#include <QFile>
#include <cerrno>

#if defined(Q_OS_UNIX)
#include <climits>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace zim::platform {

QByteArray directoryOf(const QByteArray &path)
{
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0)
        return ".";
    return slash == 0 ? QByteArray("/") : path.left(slash);
}

#if defined(Q_OS_UNIX)

namespace {

// Follows the links of a path whose final target may not exist yet, as opening it for writing
// with O_CREAT would.
bool followLinks(QByteArray &path)
{
    for (int links = 0; links < 40; ++links) {
        struct stat st = {};
        if (::lstat(path.constData(), &st) != 0 || !S_ISLNK(st.st_mode))
            return true;
        char target[PATH_MAX];
        const ssize_t n = ::readlink(path.constData(), target, sizeof target - 1);
        if (n < 0)
            return false;
        const QByteArray next(target, n);
        path = next.startsWith('/') ? next : directoryOf(path) + '/' + next;
    }
    errno = ELOOP;
    return false;
}

int accessError(const QByteArray &path, int how)
{
    return ::access(path.constData(), how) == 0 ? 0 : errno;
}

} // namespace

FileStatus destinationStatus(const QString &path)
{
    FileStatus status;
    status.target = QFile::encodeName(path);
    if (!followLinks(status.target)) {
        status.error = errno;
        return status;
    }
    struct stat st = {};
    if (::stat(status.target.constData(), &st) != 0) {
        status.error = errno;
        if (status.error != ENOENT)
            return status;
        status.error = 0;
        status.kind = FileStatus::Missing;
        const mode_t mask = ::umask(0);
        ::umask(mask);
        status.mode = 0666 & ~mask;
    } else {
        status.mode = st.st_mode & 07777;
        if (S_ISDIR(st.st_mode))
            status.kind = FileStatus::Directory;
        else if (S_ISREG(st.st_mode))
            status.kind = FileStatus::RegularFile;
        else if (S_ISCHR(st.st_mode))
            status.kind = FileStatus::CharacterDevice;
        else if (S_ISFIFO(st.st_mode))
            status.kind = FileStatus::Fifo;
        else
            status.kind = FileStatus::Other;
        if (status.kind != FileStatus::Directory && status.kind != FileStatus::Other)
            status.writeError = accessError(status.target, W_OK);
    }
    status.directoryError = accessError(directoryOf(status.target), W_OK | X_OK);
    return status;
}

bool isDirectory(std::FILE *stream)
{
    struct stat st = {};
    return ::fstat(fileno(stream), &st) == 0 && S_ISDIR(st.st_mode);
}

#else

FileStatus destinationStatus(const QString &path)
{
    FileStatus status;
    status.target = QFile::encodeName(path);
    status.error = ENOSYS;
    return status;
}

bool isDirectory(std::FILE *)
{
    return false;
}

#endif

} // namespace zim::platform
