// The "hzx" writer of the load-file factory: any load file as a TEVO executable.
#pragma once

#include "loadfile/loadfilewriter.h"

namespace zim::tevo {

// Writes the primary sections as loadable sections of kind 0 and the secondary ones as kind 6,
// in records that carry their final bytes (see describeLoadFile). An executable starts at its
// lowest code address, so a start address elsewhere is not kept. Throws HException naming
// fileName when the bytes do not fit in one executable.
class TEVOExecutableWriter : public zim::loadfile::LoadFileWriter
{
public:
    QByteArray contents(zim::loadfile::LoadFileInterface &file, const QString &fileName) const override;
};

} // namespace zim::tevo
