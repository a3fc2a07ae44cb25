// Record text shared by the text load-file writers.
#include "loadfile/recordtext.h"

#include <algorithm>

namespace zim::loadfile {

void RecordText::hexByte(uint8_t byte)
{
    static const char digits[] = "0123456789ABCDEF";
    m_text.append(digits[byte >> 4]);
    m_text.append(digits[byte & 15]);
    m_sum = uint8_t(m_sum + byte);
}

void RecordText::bigEndian(uint32_t value, int bytes)
{
    for (int i = bytes - 1; i >= 0; --i)
        hexByte(uint8_t(value >> (8 * i)));
}

void RecordText::bytes(const uint8_t *data, uint32_t n, bool separated)
{
    for (uint32_t i = 0; i < n; ++i) {
        if (separated && i)
            m_text.append(' ');
        hexByte(data[i]);
    }
}

void RecordText::forEachLine(const LoadFileSectionList &sections,
                             const std::function<void(uint32_t, const uint8_t *, uint32_t)> &line)
{
    for (const auto &section : sections) {
        uint32_t address = section->address();
        const uint8_t *data = section->data();
        uint32_t left = section->size();
        while (left) {
            const uint32_t toBoundary = 0x10000 - (address & 0xFFFF);
            const uint32_t n = std::min({left, bytesPerLine, toBoundary});
            line(address, data, n);
            address += n;
            data += n;
            left -= n;
        }
    }
}

} // namespace zim::loadfile
