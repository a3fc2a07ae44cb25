// Checking and writing the destination of a written load file.
#include "loadfile/loadfiledestination.h"

#include "common/hexception.h"

#include <QFile>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zim::loadfile {

namespace {

QByteArray directoryOf(const QByteArray &path)
{
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0)
        return ".";
    return slash == 0 ? QByteArray("/") : path.left(slash);
}

// Follows the links of a path whose final target may not exist yet, as opening it for writing
// with O_CREAT would. Gives up after 40 links (ELOOP), as the kernel does.
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

// Closes a descriptor on every way out; close() reports its own error where it matters.
struct Descriptor
{
    int fd = -1;
    ~Descriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
    int release()
    {
        const int result = ::close(fd);
        fd = -1;
        return result;
    }
};

} // namespace

LoadFileDestination::LoadFileDestination(const QString &path, WriteFunction write)
    : m_path(path), m_write(write ? write : ::write)
{
    examine();
}

void LoadFileDestination::fail(int error) const
{
    fail(QString::fromLocal8Bit(std::strerror(error)));
}

void LoadFileDestination::fail(const QString &reason) const
{
    throw common::HException(QStringLiteral("cannot write %1: %2").arg(m_path, reason));
}

void LoadFileDestination::examine()
{
    if (m_path.isEmpty())
        fail(ENOENT);
    m_target = QFile::encodeName(m_path);
    if (!followLinks(m_target))
        fail(errno);

    struct stat st = {};
    if (::stat(m_target.constData(), &st) != 0) {
        if (errno != ENOENT)
            fail(errno);
        m_kind = NewFile;
        const mode_t mask = ::umask(0);
        ::umask(mask);
        m_mode = 0666 & ~mask;
    } else if (S_ISDIR(st.st_mode)) {
        fail(EISDIR);
    } else if (S_ISREG(st.st_mode)) {
        m_kind = RegularFile;
        m_mode = st.st_mode & 07777;
        if (::access(m_target.constData(), W_OK) != 0)
            fail(errno);
    } else if (S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode)) {
        m_kind = WriteThrough;
        if (::access(m_target.constData(), W_OK) != 0)
            fail(errno);
        return;
    } else {
        fail(QStringLiteral("it is neither a regular file, a character device nor a FIFO"));
    }
    // The new contents are written beside the file and renamed over it.
    if (::access(directoryOf(m_target).constData(), W_OK | X_OK) != 0)
        fail(errno);
}

void LoadFileDestination::write(const QByteArray &bytes) const
{
    // What the path names may have changed since it was examined: look again.
    const LoadFileDestination now(m_path, m_write);
    if (now.m_kind == WriteThrough)
        now.writeThrough(bytes);
    else
        now.replaceFile(bytes);
}

void LoadFileDestination::writeAll(int fd, const QByteArray &bytes) const
{
    const char *next = bytes.constData();
    size_t left = size_t(bytes.size());
    while (left) {
        const ssize_t n = m_write(fd, next, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            fail(n < 0 ? errno : EIO);
        next += n;
        left -= size_t(n);
    }
}

void LoadFileDestination::writeThrough(const QByteArray &bytes) const
{
    Descriptor file;
    file.fd = ::open(m_target.constData(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
    if (file.fd < 0)
        fail(errno);
    writeAll(file.fd, bytes);
    if (file.release() != 0)
        fail(errno);
}

void LoadFileDestination::replaceFile(const QByteArray &bytes) const
{
    QByteArray temporary = m_target + ".XXXXXX";
    Descriptor file;
    file.fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (file.fd < 0)
        fail(errno);
    // The temporary file goes whenever the new contents do not make it to the file's place.
    struct Remove
    {
        const QByteArray &path;
        bool done = false;
        ~Remove()
        {
            if (!done)
                ::unlink(path.constData());
        }
    } remove{temporary};

    if (::fchmod(file.fd, m_mode) != 0)
        fail(errno);
    writeAll(file.fd, bytes);
    // Some file systems report a full disk only when the data reach it.
    if (::fsync(file.fd) != 0)
        fail(errno);
    if (file.release() != 0)
        fail(errno);
    if (::rename(temporary.constData(), m_target.constData()) != 0)
        fail(errno);
    remove.done = true;
}

} // namespace zim::loadfile
