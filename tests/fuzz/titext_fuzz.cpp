// Fuzz target: the TI text reader must end every input in sections or an HException, never a crash.
#include "fuzzreader.h"
#include "loadfile/tihexloadfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    return fuzzReader(data, size, [&](const QByteArray &input) {
        return zim::loadfile::TIHexLoadFile::fromText(input);
    });
}
