// TIHexWriter: TI text hex, an '@' address line before each run of bytes and a final 'q'.
#pragma once

#include "loadfile/loadfilewriter.h"

namespace zim::loadfile {

class TIHexWriter : public MainMemoryWriter
{
protected:
    QByteArray formatMainMemory(LoadFileInterface &file, const QString &fileName) const override;
};

} // namespace zim::loadfile
