// File identity through the system's file status call.
#include "platform/fileidentity.h"

#include <QFile>
#include <QFileInfo>

#if defined(Q_OS_UNIX)
#include <sys/stat.h>
#endif

namespace zim::platform {

#if defined(Q_OS_UNIX)

namespace {

bool statPath(const QString &path, struct stat &st)
{
    return !path.isEmpty() && ::stat(QFile::encodeName(path).constData(), &st) == 0;
}

} // namespace

QString sameFileAsAny(const QString &path, const QStringList &candidates)
{
    struct stat target = {};
    if (!statPath(path, target))
        return QString();
    for (const QString &candidate : candidates) {
        struct stat other = {};
        if (statPath(candidate, other) && other.st_dev == target.st_dev && other.st_ino == target.st_ino)
            return candidate;
    }
    return QString();
}

bool isCharacterDevice(const QString &path)
{
    struct stat st = {};
    return statPath(path, st) && S_ISCHR(st.st_mode);
}

#else

// Without device and inode numbers, the canonical paths (links resolved) stand for the files.
QString sameFileAsAny(const QString &path, const QStringList &candidates)
{
    const QString target = QFileInfo(path).canonicalFilePath();
    if (target.isEmpty())
        return QString();
    for (const QString &candidate : candidates)
        if (QFileInfo(candidate).canonicalFilePath() == target)
            return candidate;
    return QString();
}

bool isCharacterDevice(const QString &path)
{
    Q_UNUSED(path);
    return false;
}

#endif

} // namespace zim::platform
