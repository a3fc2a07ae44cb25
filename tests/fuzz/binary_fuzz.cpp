// Fuzz target: the binary reader must end every input in sections or an HException, never a crash.
#include "fuzzreader.h"
#include "loadfile/binaryloadfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    return fuzzReader(data, size, [&](const QByteArray &input) {
        auto file = zim::loadfile::BinaryLoadFile::fromBytes(input);
        file->setLoadAddress(uint32_t(size));
        file->makeContiguous(0xFF);
        return file;
    });
}
