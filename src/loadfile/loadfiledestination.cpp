// Checking and writing the destination of a written load file.
#include "loadfile/loadfiledestination.h"

#include "common/hexception.h"
#include "platform/filestatus.h"
#include "platform/rawfile.h"
#include "platform/writeguard.h"

#include <cerrno>
#include <cstring>

namespace zim::loadfile {

namespace {

// Closes a descriptor on every way out; close() reports its own error where it matters.
struct Descriptor
{
    int fd = -1;
    ~Descriptor()
    {
        if (fd >= 0)
            platform::closeFile(fd);
    }
    bool release()
    {
        const bool closed = platform::closeFile(fd);
        fd = -1;
        return closed;
    }
};

} // namespace

LoadFileDestination::LoadFileDestination(const QString &path, WriteFunction write)
    : m_path(path), m_write(write ? write : platform::writeFile)
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
    const platform::FileStatus status = platform::destinationStatus(m_path);
    m_target = status.target;
    m_mode = status.mode;
    switch (status.kind) {
    case platform::FileStatus::Failed:
        fail(status.error);
    case platform::FileStatus::Missing:
        m_kind = NewFile;
        break;
    case platform::FileStatus::Directory:
        fail(EISDIR);
    case platform::FileStatus::RegularFile:
        m_kind = RegularFile;
        if (status.writeError)
            fail(status.writeError);
        break;
    case platform::FileStatus::CharacterDevice:
    case platform::FileStatus::Fifo:
        m_kind = WriteThrough;
        if (status.writeError)
            fail(status.writeError);
        return;
    case platform::FileStatus::Other:
        fail(QStringLiteral("it is neither a regular file, a character device nor a FIFO"));
    }
    // The new contents are written beside the file and renamed over it.
    if (status.directoryError)
        fail(status.directoryError);
}

void LoadFileDestination::write(const QByteArray &bytes) const
{
    // What the path names may have changed since it was examined: look again.
    const LoadFileDestination now(m_path, m_write);
    // A full file system, a file size limit or a FIFO whose reader went away ends in a
    // message, and a termination signal takes the temporary file with it.
    platform::WriteGuard guard;
    if (now.m_kind == WriteThrough)
        now.writeThrough(bytes);
    else
        now.replaceFile(bytes, guard);
}

void LoadFileDestination::writeAll(int fd, const QByteArray &bytes) const
{
    const char *next = bytes.constData();
    size_t left = size_t(bytes.size());
    while (left) {
        const std::ptrdiff_t n = m_write(fd, next, left);
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
    file.fd = platform::openWriteThrough(m_target);
    if (file.fd < 0)
        fail(errno);
    writeAll(file.fd, bytes);
    if (!file.release())
        fail(errno);
}

void LoadFileDestination::replaceFile(const QByteArray &bytes, platform::WriteGuard &guard) const
{
    QByteArray temporary = m_target + ".XXXXXX";
    Descriptor file;
    file.fd = guard.createTemporaryFile(temporary);
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
                platform::removeFile(path);
        }
    } remove{temporary};

    if (!platform::setFileMode(file.fd, m_mode))
        fail(errno);
    writeAll(file.fd, bytes);
    // Some file systems report a full disk only when the data reach it.
    if (!platform::syncFile(file.fd))
        fail(errno);
    if (!file.release())
        fail(errno);
    if (!platform::renameFile(temporary, m_target))
        fail(errno);
    guard.release();
    remove.done = true;
}

} // namespace zim::loadfile
