// Writing TI text hex.
#include "loadfile/tihexwriter.h"

#include "loadfile/recordtext.h"

#include <algorithm>

namespace zim::loadfile {

QByteArray TIHexWriter::formatMainMemory(LoadFileInterface &file, const QString &) const
{
    RecordText out;
    bool first = true;
    uint32_t next = 0;
    for (const auto &section : file.sections().primarySections) {
        const uint32_t size = section->size();
        if (!size)
            continue;
        const uint32_t address = section->address();
        if (first || address != next) {
            // An even number of digits, as the '@' line is read in whole bytes.
            const int addressBytes = address <= 0xFFFF ? 2 : address <= 0xFFFFFF ? 3 : 4;
            out.text("@");
            out.bigEndian(address, addressBytes);
            out.endLine();
        }
        first = false;
        next = address + size;
        for (uint32_t done = 0; done < size; done += RecordText::bytesPerLine) {
            out.bytes(section->data() + done, std::min(RecordText::bytesPerLine, size - done), true);
            out.endLine();
        }
    }
    out.text("q");
    out.endLine();
    return out.take();
}

} // namespace zim::loadfile
