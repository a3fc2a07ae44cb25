// Writers for the text and binary load-file formats.
#include "loadfile/loadfilewriter.h"

#include "common/hexception.h"

#include <QSaveFile>
#include <algorithm>
#include <cstring>

namespace {

constexpr uint32_t bytesPerLine = 16;

// Builds one format's text; checksummed records keep their sum while bytes are added.
class RecordText
{
public:
    void hexByte(uint8_t byte)
    {
        static const char digits[] = "0123456789ABCDEF";
        m_text.append(digits[byte >> 4]);
        m_text.append(digits[byte & 15]);
        m_sum = uint8_t(m_sum + byte);
    }
    void bigEndian(uint32_t value, int bytes)
    {
        for (int i = bytes - 1; i >= 0; --i)
            hexByte(uint8_t(value >> (8 * i)));
    }
    void bytes(const uint8_t *data, uint32_t n, bool separated)
    {
        for (uint32_t i = 0; i < n; ++i) {
            if (separated && i)
                m_text.append(' ');
            hexByte(data[i]);
        }
    }
    void text(const char *s) { m_text.append(s); }
    void startSum() { m_sum = 0; }
    uint8_t sum() const { return m_sum; }
    void endLine() { m_text.append('\n'); }
    QByteArray &result() { return m_text; }

private:
    QByteArray m_text;
    uint8_t m_sum = 0;
};

// Calls emitLine(address, bytes, n) for runs of at most bytesPerLine bytes that never cross a
// 64 KB boundary, so that a record's 16-bit address never wraps.
template <class EmitLine>
void forEachLine(const LoadFileSectionList &sections, EmitLine emitLine)
{
    for (const auto &section : sections) {
        uint32_t address = section->address();
        const uint8_t *data = section->data();
        uint32_t left = section->size();
        while (left) {
            const uint32_t toBoundary = 0x10000 - (address & 0xFFFF);
            const uint32_t n = std::min({left, bytesPerLine, toBoundary});
            emitLine(address, data, n);
            address += n;
            data += n;
            left -= n;
        }
    }
}

void intelRecord(RecordText &out, uint8_t type, uint16_t offset, const uint8_t *data, uint32_t n)
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

QByteArray intelHex(LoadFileInterface &file)
{
    RecordText out;
    uint32_t upper = 0;
    forEachLine(file.sections().primarySections, [&](uint32_t address, const uint8_t *data, uint32_t n) {
        if (address >> 16 != upper) {
            upper = address >> 16;
            const uint8_t base[2] = {uint8_t(upper >> 8), uint8_t(upper)};
            intelRecord(out, 0x04, 0, base, 2);
        }
        intelRecord(out, 0x00, uint16_t(address), data, n);
    });
    if (file.hasStartAddress()) {
        const uint32_t start = file.startAddress();
        const uint8_t bytes[4] = {uint8_t(start >> 24), uint8_t(start >> 16), uint8_t(start >> 8), uint8_t(start)};
        intelRecord(out, 0x05, 0, bytes, 4);
    }
    intelRecord(out, 0x01, 0, nullptr, 0);
    return std::move(out.result());
}

void sRecord(RecordText &out, char type, uint32_t address, int addressBytes, const uint8_t *data, uint32_t n)
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

QByteArray sRecords(LoadFileInterface &file)
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
    sRecord(out, '0', 0, 2, nullptr, 0);
    uint32_t records = 0;
    forEachLine(sections, [&](uint32_t address, const uint8_t *data, uint32_t n) {
        sRecord(out, dataType, address, addressBytes, data, n);
        ++records;
    });
    // The count record is optional and S5 holds only 16 bits; a larger count is left out
    // rather than written modulo 65536, which stricter readers reject.
    if (records <= 0xFFFF)
        sRecord(out, '5', records, 2, nullptr, 0);
    sRecord(out, endType, file.hasStartAddress() ? file.startAddress() : 0, addressBytes, nullptr, 0);
    return std::move(out.result());
}

QByteArray tiText(LoadFileInterface &file)
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
        for (uint32_t done = 0; done < size; done += bytesPerLine) {
            out.bytes(section->data() + done, std::min(bytesPerLine, size - done), true);
            out.endLine();
        }
    }
    out.text("q");
    out.endLine();
    return std::move(out.result());
}

QByteArray hexListing(LoadFileInterface &file)
{
    RecordText out;
    for (const auto &section : file.sections().primarySections) {
        const uint32_t size = section->size();
        for (uint32_t done = 0; done < size; done += bytesPerLine) {
            out.bigEndian(section->address() + done, 4);
            const uint32_t n = std::min(bytesPerLine, size - done);
            for (uint32_t i = 0; i < n; ++i) {
                out.text(" ");
                out.hexByte(section->data()[done + i]);
            }
            out.endLine();
        }
    }
    return std::move(out.result());
}

QByteArray binaryImage(LoadFileInterface &file, const QString &fileName)
{
    const LoadFileSectionList &sections = file.sections().primarySections;
    uint64_t low = UINT64_MAX, high = 0;
    for (const auto &section : sections) {
        if (!section->size())
            continue;
        low = std::min<uint64_t>(low, section->address());
        high = std::max<uint64_t>(high, uint64_t(section->address()) + section->size());
    }
    if (high == 0)
        return QByteArray();
    // Far-apart sections would make an image of gigabytes; refuse rather than exhaust memory.
    constexpr uint64_t largest = 256u << 20;
    if (high - low > largest)
        throw HException(QStringLiteral("cannot write %1: a binary image from 0x%2 to 0x%3 is larger than 256 MB")
                             .arg(fileName)
                             .arg(low, 8, 16, QLatin1Char('0'))
                             .arg(high - 1, 8, 16, QLatin1Char('0')));
    QByteArray image(qsizetype(high - low), char(0xFF));
    for (const auto &section : sections) {
        if (section->size())
            std::memcpy(image.data() + (section->address() - low), section->data(), section->size());
    }
    return image;
}

} // namespace

QByteArray formatLoadFile(const QString &typeName, LoadFileInterface &file, const QString &fileName)
{
    QByteArray contents;
    if (typeName == QLatin1String("ihex"))
        contents = intelHex(file);
    else if (typeName == QLatin1String("srec"))
        contents = sRecords(file);
    else if (typeName == QLatin1String("tihex"))
        contents = tiText(file);
    else if (typeName == QLatin1String("hex"))
        contents = hexListing(file);
    else if (typeName == QLatin1String("bin"))
        contents = binaryImage(file, fileName);
    else if (typeName == QLatin1String("elf") || typeName == QLatin1String("hzx"))
        throw HException(QStringLiteral("cannot write load files of type \"%1\"").arg(typeName));
    else
        throw HException(QStringLiteral("unknown file type \"%1\"").arg(typeName));
    return contents;
}

void writeLoadFile(const QString &fileName, const QString &typeName, LoadFileInterface &file)
{
    const QByteArray contents = formatLoadFile(typeName, file, fileName);
    QSaveFile out(fileName);
    if (!out.open(QIODevice::WriteOnly) || out.write(contents) != contents.size() || !out.commit())
        throw HException(QStringLiteral("cannot write %1: %2").arg(fileName, out.errorString()));
}
