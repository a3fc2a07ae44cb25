// IntelHexWriter: Intel hex records, with 04 records for addresses above 64 KB and a 05 start record.
#pragma once

#include "loadfile/loadfilewriter.h"

namespace zim::loadfile {

class IntelHexWriter : public MainMemoryWriter
{
protected:
    QByteArray formatMainMemory(LoadFileInterface &file, const QString &fileName) const override;
};

} // namespace zim::loadfile
