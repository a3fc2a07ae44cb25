// Checks a file's ELF header against the running program before the dynamic loader sees
// it, so that a library built for another class or machine is named as such.
#pragma once

#include <QString>
#include <QStringList>

namespace zim::platform {

// An empty text when path is an ELF shared object this program can load; else why not:
// "not found", "cannot read: <reason>", "not an ELF file", the class or machine mismatch,
// "not a shared library".
QString elfLoadProblem(const QString &path);

// The names a shared object of this program's class lists as needed (DT_NEEDED), in order;
// empty when the file cannot be read or is not such an object.
QStringList elfNeededLibraries(const QString &path);

} // namespace zim::platform
