// SRecordWriter: Motorola S-records with the narrowest address field that holds every address.
#pragma once

#include "loadfile/loadfilewriter.h"

namespace zim::loadfile {

class SRecordWriter : public MainMemoryWriter
{
protected:
    QByteArray formatMainMemory(LoadFileInterface &file, const QString &fileName) const override;
};

} // namespace zim::loadfile
