// The load-file writer base and the writing helpers over the standard table.
#include "loadfile/loadfilewriter.h"

#include "common/hexception.h"
#include "loadfile/loadfiledestination.h"
#include "loadfile/loadfilefactory.h"

namespace zim::loadfile {

LoadFileWriter::~LoadFileWriter() = default;

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
