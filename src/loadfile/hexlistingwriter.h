// HexListingWriter: the hex listing, a 32-bit address and up to 16 bytes per line.
#pragma once

#include "loadfile/loadfilewriter.h"

namespace zim::loadfile {

class HexListingWriter : public MainMemoryWriter
{
protected:
    QByteArray formatMainMemory(LoadFileInterface &file, const QString &fileName) const override;
};

} // namespace zim::loadfile
