// BinaryWriter: one raw image from the lowest to the highest address, gaps filled with 0xFF.
#pragma once

#include "loadfile/loadfilewriter.h"

class BinaryWriter : public LoadFileWriter
{
public:
    QByteArray contents(LoadFileInterface &file, const QString &fileName) const override;
};
