// Writing the hex listing.
#include "loadfile/hexlistingwriter.h"

#include "loadfile/recordtext.h"

#include <algorithm>

namespace zim::loadfile {

QByteArray HexListingWriter::formatMainMemory(LoadFileInterface &file, const QString &) const
{
    RecordText out;
    for (const auto &section : file.sections().primarySections) {
        const uint32_t size = section->size();
        for (uint32_t done = 0; done < size; done += RecordText::bytesPerLine) {
            out.bigEndian(section->address() + done, 4);
            const uint32_t n = std::min(RecordText::bytesPerLine, size - done);
            for (uint32_t i = 0; i < n; ++i) {
                out.text(" ");
                out.hexByte(section->data()[done + i]);
            }
            out.endLine();
        }
    }
    return out.take();
}

} // namespace zim::loadfile
