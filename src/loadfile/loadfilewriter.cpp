// The load-file writer base and the writing helpers over the standard table.
#include "loadfile/loadfilewriter.h"

#include "common/hexception.h"
#include "loadfile/loadfiledestination.h"
#include "loadfile/loadfilefactory.h"

namespace zim::loadfile {

LoadFileWriter::~LoadFileWriter() = default;

QByteArray MainMemoryWriter::contents(LoadFileInterface &file, const QString &fileName) const
{
    if (!file.sections().secondarySections.empty())
        throw common::HException(QStringLiteral("cannot write %1: this file type holds one memory space, and the load "
                                                "file also has sections of the target's second memory space (a .hzx "
                                                "file holds both)")
                                     .arg(fileName));
    return formatMainMemory(file, fileName);
}

QByteArray formatLoadFile(const QString &typeName, LoadFileInterface &file, const QString &fileName)
{
    const LoadFileFactory table;
    return table.requireWriter(typeName).contents(file, fileName);
}

void writeLoadFile(const QString &fileName, const QString &typeName, LoadFileInterface &file)
{
    const LoadFileFactory table;
    const LoadFileWriter &writer = table.requireWriter(typeName);
    const LoadFileDestination destination(fileName);
    destination.write(writer.contents(file, fileName));
}

} // namespace zim::loadfile
