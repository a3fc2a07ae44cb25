// FileStatus: what a path names once its symbolic links are followed, and whether it and its
// directory can be written, for code that decides how to write a file in place.
#pragma once

#include <QByteArray>
#include <QString>
#include <cstdio>

namespace zim::platform {

struct FileStatus
{
    enum Kind {
        Failed,           // the path could not be examined: error says why
        Missing,          // nothing there yet
        Directory,
        RegularFile,
        CharacterDevice,
        Fifo,
        Other,            // a block device, a socket, ...
    };

    // The path with its links followed, in the system's encoding. A missing final target is
    // where opening the path with creation would create it.
    QByteArray target;
    Kind kind = Failed;
    // The permission bits of an existing file; for a missing one, those a new file gets.
    unsigned mode = 0;
    // errno-style codes, 0 for success: of examining the path, of the write-access check of
    // an existing target, and of the write-and-search check of the target's directory.
    int error = 0;
    int writeError = 0;
    int directoryError = 0;
};

// Describes path. Follows at most 40 links, then fails with ELOOP as the kernel does.
FileStatus destinationStatus(const QString &path);

// The directory part of a path in the system's encoding ("." when it has none).
QByteArray directoryOf(const QByteArray &path);

// Whether an open stream reads a directory.
bool isDirectory(std::FILE *stream);

} // namespace zim::platform
