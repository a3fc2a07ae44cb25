// Writing Intel hex.
#include "loadfile/intelhexwriter.h"

#include "loadfile/recordtext.h"

namespace zim::loadfile {

namespace {

void record(RecordText &out, uint8_t type, uint16_t offset, const uint8_t *data, uint32_t n)
{
    out.text(":");
    out.startSum();
    out.hexByte(uint8_t(n));
    out.bigEndian(offset, 2);
    out.hexByte(type);
    out.bytes(data, n, false);
    out.hexByte(uint8_t(-out.sum()));
    out.endLine();
}

} // namespace

QByteArray IntelHexWriter::formatMainMemory(LoadFileInterface &file, const QString &) const
{
    RecordText out;
    uint32_t upper = 0;
    RecordText::forEachLine(file.sections().primarySections, [&](uint32_t address, const uint8_t *data, uint32_t n) {
        if (address >> 16 != upper) {
            upper = address >> 16;
            const uint8_t base[2] = {uint8_t(upper >> 8), uint8_t(upper)};
            record(out, 0x04, 0, base, 2);
        }
        record(out, 0x00, uint16_t(address), data, n);
    });
    if (file.hasStartAddress()) {
        const uint32_t start = file.startAddress();
        const uint8_t bytes[4] = {uint8_t(start >> 24), uint8_t(start >> 16), uint8_t(start >> 8), uint8_t(start)};
        record(out, 0x05, 0, bytes, 4);
    }
    record(out, 0x01, 0, nullptr, 0);
    return out.take();
}

} // namespace zim::loadfile
