// Whether two paths name one file, so that a file about to be written can be told apart from
// the files a job reads.
#pragma once

#include <QString>
#include <QStringList>

namespace zim::platform {

// The first of candidates that names the same file (device and inode, links followed) as path;
// empty when path names nothing yet or none of them is that file. Candidates that name nothing
// are passed over.
QString sameFileAsAny(const QString &path, const QStringList &candidates);

// Whether path names a character device (a terminal, /dev/null), which writing does not
// truncate and which a job may both read and write.
bool isCharacterDevice(const QString &path);

} // namespace zim::platform
