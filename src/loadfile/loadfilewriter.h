// LoadFileWriter: the writer of one load-file format, registered beside its reader in the
// factory's type table.
#pragma once

#include "loadfile/loadfileinterface.h"

#include <QByteArray>
#include <QString>

namespace zim::loadfile {

class LoadFileWriter
{
public:
    virtual ~LoadFileWriter();

    // The bytes of a file of this format holding the sections of file, and its start address
    // when hasStartAddress(). Throws HException, naming fileName, when the sections cannot be
    // expressed in the format.
    virtual QByteArray contents(LoadFileInterface &file, const QString &fileName) const = 0;
};

// The writer of a format of one address space: it holds the primary sections, and refuses a
// file that also has sections of the second memory space rather than drop them.
class MainMemoryWriter : public LoadFileWriter
{
public:
    QByteArray contents(LoadFileInterface &file, const QString &fileName) const final;

protected:
    // The bytes of the file holding the primary sections.
    virtual QByteArray formatMainMemory(LoadFileInterface &file, const QString &fileName) const = 0;
};

// The writers of the standard table ("ihex", "srec", "tihex", "hex", "bin"), for callers
// without a factory of their own. Throw HException for a type that cannot be written.
QByteArray formatLoadFile(const QString &typeName, LoadFileInterface &file, const QString &fileName = QString());
// Writes the file through a LoadFileDestination: an existing file is replaced only when every
// byte was written.
void writeLoadFile(const QString &fileName, const QString &typeName, LoadFileInterface &file);

} // namespace zim::loadfile
