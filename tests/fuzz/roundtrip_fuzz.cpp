// Fuzz target: whatever the Intel hex reader accepts, every writer must write so that the
// matching reader loads the same memory (and Intel hex the same start address).
#include "common/hexception.h"
#include "loadfile/hexloadfile.h"
#include "loadfile/intelhexloadfile.h"
#include "loadfile/loadfilewriter.h"
#include "loadfile/srecordloadfile.h"
#include "loadfile/tihexloadfile.h"

#include <cstddef>
#include <cstdint>
#include <map>

static std::map<uint32_t, uint8_t> memoryOf(zim::loadfile::LoadFileInterface &file)
{
    std::map<uint32_t, uint8_t> memory;
    for (const auto &section : file.sections().primarySections) {
        for (uint32_t i = 0; i < section->size(); ++i)
            memory[section->address() + i] = section->data()[i];
    }
    return memory;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::unique_ptr<zim::loadfile::IntelHexLoadFile> original;
    try {
        original = zim::loadfile::IntelHexLoadFile::fromText(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    } catch (const zim::common::HException &) {
        return 0;
    }
    const auto expected = memoryOf(*original);
    // Sections that overlap are written in list order, so the later one wins on reading as well.
    auto ihex = zim::loadfile::IntelHexLoadFile::fromText(zim::loadfile::formatLoadFile("ihex", *original));
    auto srec = zim::loadfile::SRecordLoadFile::fromText(zim::loadfile::formatLoadFile("srec", *original));
    auto ti = zim::loadfile::TIHexLoadFile::fromText(zim::loadfile::formatLoadFile("tihex", *original));
    auto listing = zim::loadfile::HexLoadFile::fromText(zim::loadfile::formatLoadFile("hex", *original));
    if (memoryOf(*ihex) != expected || memoryOf(*srec) != expected || memoryOf(*ti) != expected ||
        memoryOf(*listing) != expected)
        __builtin_trap();
    if (ihex->hasStartAddress() != original->hasStartAddress() || ihex->startAddress() != original->startAddress())
        __builtin_trap();
    if (original->hasStartAddress() && srec->startAddress() != original->startAddress())
        __builtin_trap();
    return 0;
}
