// Fuzz target: the S-record reader must end every input in sections or an HException, never a crash.
#include "fuzzreader.h"
#include "loadfile/srecordloadfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    return fuzzReader(data, size, [&](const QByteArray &input) {
        return zim::loadfile::SRecordLoadFile::fromText(input);
    });
}
