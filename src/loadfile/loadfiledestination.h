// LoadFileDestination: where a written load file goes, checked before any work is done and
// written in one go at the end, so that a failed write never leaves a damaged file behind.
#pragma once

#include <QByteArray>
#include <QString>
#include <cstddef>

namespace zim::platform {
class WriteGuard;
}

namespace zim::loadfile {

class LoadFileDestination
{
public:
    // Writes to a descriptor as the system's write(2) does; tests pass one that fails part way.
    using WriteFunction = std::ptrdiff_t (*)(int fd, const void *buffer, size_t size);

    // What the path names, following symbolic links.
    enum Kind {
        NewFile,       // nothing yet: a regular file is created
        RegularFile,   // replaced as a whole
        WriteThrough,  // a character device or a FIFO: the bytes are written into it
    };

    // Examines path. Throws HException "cannot write <path>: <reason>" when it names a
    // directory, a block device or a socket, or when the file or its directory cannot be
    // written (the reason is the system's text, such as "No such file or directory").
    explicit LoadFileDestination(const QString &path, WriteFunction write = nullptr);

    Kind kind() const { return m_kind; }

    // Writes bytes. A regular file is written under a temporary name beside it, flushed to
    // disk and renamed over the old one, keeping its permissions; a device or FIFO is opened
    // without truncating or creating anything and written through. Throws HException
    // "cannot write <path>: <reason>" on any failure, a file size limit and a FIFO without a
    // reader included; an existing regular file is then left as it was and no temporary file
    // remains, also when SIGTERM, SIGHUP or SIGINT ends the process during the write.
    void write(const QByteArray &bytes) const;

private:
    [[noreturn]] void fail(int error) const;
    [[noreturn]] void fail(const QString &reason) const;
    void examine();
    void writeAll(int fd, const QByteArray &bytes) const;
    void replaceFile(const QByteArray &bytes, platform::WriteGuard &guard) const;
    void writeThrough(const QByteArray &bytes) const;

    QString m_path;
    // The file the bytes end up in: m_path with its links followed.
    QByteArray m_target;
    Kind m_kind = NewFile;
    unsigned m_mode = 0;
    WriteFunction m_write;
};

} // namespace zim::loadfile
