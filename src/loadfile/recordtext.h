// RecordText: the text of the record-based load-file formats, built byte by byte with a
// running 8-bit sum for the formats that checksum their records.
#pragma once

#include "loadfile/loadfilesection.h"

#include <QByteArray>
#include <cstdint>
#include <functional>

namespace zim::loadfile {

class RecordText
{
public:
    // Data bytes per record line.
    static constexpr uint32_t bytesPerLine = 16;

    // Two upper-case hexadecimal digits, added to the running sum.
    void hexByte(uint8_t byte);
    // The low `bytes` bytes of value, most significant first.
    void bigEndian(uint32_t value, int bytes);
    // n bytes, separated by one blank each when separated is true.
    void bytes(const uint8_t *data, uint32_t n, bool separated);
    void text(const char *s) { m_text.append(s); }
    void startSum() { m_sum = 0; }
    uint8_t sum() const { return m_sum; }
    void endLine() { m_text.append('\n'); }
    QByteArray take() { return std::move(m_text); }

    // Calls line(address, bytes, n) for runs of at most bytesPerLine bytes of each section, in
    // list order, that never cross a 64 KB boundary, so that a 16-bit record address never wraps.
    static void forEachLine(const LoadFileSectionList &sections,
                            const std::function<void(uint32_t address, const uint8_t *data, uint32_t n)> &line);

private:
    QByteArray m_text;
    uint8_t m_sum = 0;
};

} // namespace zim::loadfile
