// Fuzz target: the S-record reader must end every input in sections or an HException, never a crash.
#include "common/hexception.h"
#include "loadfile/srecordloadfile.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    try {
        auto file = SRecordLoadFile::fromText(input);
        uint64_t sum = 0;
        // Touch every byte so that a section pointing outside its buffer shows up.
        for (const auto &section : file->sections().primarySections) {
            for (uint32_t i = 0; i < section->size(); ++i)
                sum += section->data()[i];
        }
        (void)file->startAddress();
        return int(sum & 0);
    } catch (const HException &e) {
        if (e.message().isEmpty())
            __builtin_trap();
    }
    return 0;
}
