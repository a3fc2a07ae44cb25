// Writing files through the system's descriptors, for code that must control exactly when
// data reach the disk and when a file takes its place. Every call that fails returns -1 or
// false and leaves the reason in errno.
#pragma once

#include <QByteArray>
#include <cstddef>

namespace zim::platform {

// Writes up to size bytes to fd: the count written, or -1.
std::ptrdiff_t writeFile(int fd, const void *buffer, size_t size);

// Opens an existing file, device or FIFO for writing without creating or truncating it.
int openWriteThrough(const QByteArray &path);

// Creates and opens a new file whose name is pattern with its trailing "XXXXXX" replaced;
// pattern holds the name taken.
int createTemporaryFile(QByteArray &pattern);

bool setFileMode(int fd, unsigned mode);
// Waits until the file's data are on the disk.
bool syncFile(int fd);
bool closeFile(int fd);
bool renameFile(const QByteArray &from, const QByteArray &to);
bool removeFile(const QByteArray &path);

} // namespace zim::platform
