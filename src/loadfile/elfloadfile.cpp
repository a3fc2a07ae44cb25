// ELF executables for the MSP430 (see the System V ABI, "Object Files" and "Program Loading").
#include "loadfile/elfloadfile.h"

#include "common/hexception.h"

#include <QFile>
#include <QtEndian>

namespace {

constexpr int elfHeaderSize = 52;
constexpr int programHeaderSize = 32;
constexpr int sectionHeaderSize = 40;
constexpr uint16_t machineMsp430 = 105;
constexpr uint32_t ptLoad = 1;
constexpr uint32_t shtNobits = 8;
constexpr uint32_t shfAlloc = 2;

uint16_t half(const QByteArray &bytes, uint64_t offset)
{
    return qFromLittleEndian<uint16_t>(bytes.constData() + offset);
}

uint32_t word(const QByteArray &bytes, uint64_t offset)
{
    return qFromLittleEndian<uint32_t>(bytes.constData() + offset);
}

// Whether [offset, offset + size) lies inside the file; 64-bit so that no sum wraps.
bool inside(const QByteArray &bytes, uint64_t offset, uint64_t size)
{
    return offset <= uint64_t(bytes.size()) && size <= uint64_t(bytes.size()) - offset;
}

} // namespace

ElfLoadFile::ElfLoadFile(const QString &fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        throw HException(QStringLiteral("cannot open ") + fileName);
    m_bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw HException(QStringLiteral("cannot read ") + fileName);
    parse(fileName);
}

std::unique_ptr<ElfLoadFile> ElfLoadFile::fromBytes(const QByteArray &bytes, const QString &name)
{
    std::unique_ptr<ElfLoadFile> file(new ElfLoadFile);
    file->m_bytes = bytes;
    file->parse(name);
    return file;
}

void ElfLoadFile::parse(const QString &name)
{
    auto fail = [&name](const QString &what) { throw HException(name + QStringLiteral(": ") + what); };
    const QByteArray &b = m_bytes;
    if (b.size() < 4 || !b.startsWith("\x7f" "ELF"))
        fail(QStringLiteral("not an ELF file"));
    if (b.size() < elfHeaderSize)
        fail(QStringLiteral("truncated ELF header"));
    if (b[4] != 1)
        fail(QStringLiteral("not a 32-bit ELF file (class %1)").arg(int(uint8_t(b[4]))));
    if (b[5] != 1)
        fail(QStringLiteral("not a little-endian ELF file (data encoding %1)").arg(int(uint8_t(b[5]))));
    const uint16_t machine = half(b, 18);
    if (machine != machineMsp430)
        fail(QStringLiteral("not an MSP430 ELF file (machine %1)").arg(machine));
    m_startAddress = word(b, 24);

    const uint32_t phoff = word(b, 28);
    const uint16_t phentsize = half(b, 42);
    const uint16_t phnum = half(b, 44);
    if (phnum == 0)
        fail(QStringLiteral("no program headers (not a linked executable)"));
    if (phentsize < programHeaderSize)
        fail(QStringLiteral("program header size %1 is too small").arg(phentsize));
    if (!inside(b, phoff, uint64_t(phnum) * phentsize))
        fail(QStringLiteral("truncated program header table"));

    const std::vector<ElfSection> sections = allocatedSections(b, name);
    for (int i = 0; i < phnum; ++i) {
        const uint64_t ph = phoff + uint64_t(i) * phentsize;
        const uint32_t type = word(b, ph);
        const uint32_t offset = word(b, ph + 4);
        const uint32_t paddr = word(b, ph + 12);
        const uint32_t filesz = word(b, ph + 16);
        if (type != ptLoad || filesz == 0)
            continue;
        if (!inside(b, offset, filesz))
            fail(QStringLiteral("truncated segment %1 (%2 bytes at file offset 0x%3)")
                     .arg(i)
                     .arg(filesz)
                     .arg(offset, 0, 16));
        // Linkers often map the ELF and program headers into the first segment, below the
        // program. Those bytes belong to no section and must not reach the target, so the
        // segment is cut down to the span its sections occupy (as objcopy does).
        uint64_t begin = offset, end = uint64_t(offset) + filesz;
        QByteArray sectionName;
        if (!sections.empty()) {
            uint64_t first = end, last = begin;
            for (const ElfSection &section : sections) {
                const uint64_t sectionEnd = uint64_t(section.offset) + section.size;
                if (section.offset < begin || sectionEnd > end)
                    continue;
                if (section.offset < first) {
                    first = section.offset;
                    sectionName = section.name;
                }
                last = std::max(last, sectionEnd);
            }
            if (first >= last)
                continue; // headers or padding only
            begin = first;
            end = last;
        }
        m_sections.primarySections.push_back(std::make_unique<StandardLoadFileSection>(
            sectionName.constData(), paddr + uint32_t(begin - offset), uint32_t(end - begin),
            reinterpret_cast<const uint8_t *>(b.constData()) + begin));
    }
    if (m_sections.primarySections.empty())
        fail(QStringLiteral("no loadable segments"));
}

std::vector<ElfLoadFile::ElfSection> ElfLoadFile::allocatedSections(const QByteArray &b, const QString &name)
{
    std::vector<ElfSection> result;
    const uint32_t shoff = word(b, 32);
    const uint16_t shentsize = half(b, 46);
    const uint16_t shnum = half(b, 48);
    const uint16_t shstrndx = half(b, 50);
    // Section headers are optional in an executable; without them segments load whole.
    if (shoff == 0 || shnum == 0)
        return result;
    if (shentsize < sectionHeaderSize || !inside(b, shoff, uint64_t(shnum) * shentsize))
        throw HException(name + QStringLiteral(": truncated section header table"));
    uint32_t strtabOffset = 0, strtabSize = 0;
    if (shstrndx < shnum) {
        const uint64_t strtabHeader = shoff + uint64_t(shstrndx) * shentsize;
        strtabOffset = word(b, strtabHeader + 16);
        strtabSize = word(b, strtabHeader + 20);
        if (!inside(b, strtabOffset, strtabSize))
            throw HException(name + QStringLiteral(": truncated section name table"));
    }
    for (int i = 0; i < shnum; ++i) {
        const uint64_t sh = shoff + uint64_t(i) * shentsize;
        const uint32_t nameIndex = word(b, sh);
        const uint32_t type = word(b, sh + 4);
        const uint32_t flags = word(b, sh + 8);
        const uint32_t offset = word(b, sh + 16);
        const uint32_t size = word(b, sh + 20);
        if (!(flags & shfAlloc) || type == shtNobits || size == 0)
            continue;
        ElfSection section{offset, size, QByteArray()};
        if (nameIndex < strtabSize) {
            const char *start = b.constData() + strtabOffset + nameIndex;
            const qsizetype length = qstrnlen(start, strtabSize - nameIndex);
            // A name not terminated inside the table is left out rather than read beyond it.
            if (length < qsizetype(strtabSize - nameIndex))
                section.name = QByteArray(start, length);
        }
        result.push_back(section);
    }
    return result;
}
