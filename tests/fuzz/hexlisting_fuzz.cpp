// Fuzz target: the hex listing reader must end every input in sections or an HException, never a crash.
#include "fuzzreader.h"
#include "loadfile/hexloadfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    return fuzzReader(data, size, [&](const QByteArray &input) {
        return zim::loadfile::HexLoadFile::fromText(input);
    });
}
