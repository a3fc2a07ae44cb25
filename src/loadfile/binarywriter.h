// BinaryWriter: one raw image from the lowest to the highest address, gaps filled with 0xFF.
#pragma once

#include "loadfile/loadfilewriter.h"

namespace zim::loadfile {

class BinaryWriter : public MainMemoryWriter
{
protected:
    QByteArray formatMainMemory(LoadFileInterface &file, const QString &fileName) const override;
};

} // namespace zim::loadfile
