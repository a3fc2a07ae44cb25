// Writing Motorola S-records.
#include "loadfile/srecordwriter.h"

#include "loadfile/recordtext.h"

#include <algorithm>

namespace zim::loadfile {

namespace {

void record(RecordText &out, char type, uint32_t address, int addressBytes, const uint8_t *data, uint32_t n)
{
    const char mark[3] = {'S', type, '\0'};
    out.text(mark);
    out.startSum();
    out.hexByte(uint8_t(addressBytes + n + 1));
    out.bigEndian(address, addressBytes);
    out.bytes(data, n, false);
    out.hexByte(uint8_t(~out.sum()));
    out.endLine();
}

} // namespace

QByteArray SRecordWriter::formatMainMemory(LoadFileInterface &file, const QString &) const
{
    const LoadFileSectionList &sections = file.sections().primarySections;
    // The narrowest address field that holds every address written, start address included.
    uint64_t top = file.hasStartAddress() ? file.startAddress() : 0;
    for (const auto &section : sections) {
        if (section->size())
            top = std::max(top, uint64_t(section->address()) + section->size() - 1);
    }
    const int addressBytes = top <= 0xFFFF ? 2 : top <= 0xFFFFFF ? 3 : 4;
    const char dataType = char('0' + addressBytes - 1);
    const char endType = char('9' - (addressBytes - 2));

    RecordText out;
    record(out, '0', 0, 2, nullptr, 0);
    uint32_t records = 0;
    RecordText::forEachLine(sections, [&](uint32_t address, const uint8_t *data, uint32_t n) {
        record(out, dataType, address, addressBytes, data, n);
        ++records;
    });
    // The count record is optional and S5 holds only 16 bits; a larger count is left out
    // rather than written modulo 65536, which stricter readers reject.
    if (records <= 0xFFFF)
        record(out, '5', records, 2, nullptr, 0);
    record(out, endType, file.hasStartAddress() ? file.startAddress() : 0, addressBytes, nullptr, 0);
    return out.take();
}

} // namespace zim::loadfile
