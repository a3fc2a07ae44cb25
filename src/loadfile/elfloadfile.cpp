// ELF executables for the MSP430 (see the System V ABI, "Object Files" and "Program Loading").
#include "loadfile/elfloadfile.h"

#include "common/hexception.h"
#include "loadfile/deferredloadfilesection.h"
#include "loadfile/loadfileinput.h"

#include <QtEndian>
#include <algorithm>
#include <cstring>

namespace zim::loadfile {

namespace {

constexpr int elfHeaderSize = 52;
constexpr int programHeaderSize = 32;
constexpr int sectionHeaderSize = 40;
constexpr uint16_t machineMsp430 = 105;
constexpr uint32_t ptLoad = 1;
constexpr uint32_t shtNobits = 8;
constexpr uint32_t shfAlloc = 2;

uint16_t half(const char *bytes, int offset)
{
    return qFromLittleEndian<uint16_t>(bytes + offset);
}

uint32_t word(const char *bytes, int offset)
{
    return qFromLittleEndian<uint32_t>(bytes + offset);
}

// Whether [offset, offset + size) lies inside a file of length bytes; 64-bit so that no sum wraps.
bool inside(uint64_t length, uint64_t offset, uint64_t size)
{
    return offset <= length && size <= length - offset;
}

// Longest section name looked for; a longer one is left out.
constexpr int maxNameLength = 256;

} // namespace

ElfLoadFile::ElfLoadFile(const QString &fileName)
{
    auto input = std::make_shared<LoadFileInput>(fileName);
    if (input->isSequential()) {
        // Headers and segments are read at offsets, so a pipe is taken into memory first, once
        // its first bytes show an ELF file; an ELF file's offsets are 32 bits.
        QByteArray bytes(4, '\0');
        qsizetype got = 0;
        while (got < 4) {
            const int64_t n = input->read(bytes.data() + got, 4 - got);
            if (n == 0)
                break;
            got += qsizetype(n);
        }
        bytes.truncate(got);
        if (bytes == QByteArray("\x7f" "ELF"))
            bytes += input->readAll(0xFFFFFFFFu - 4);
        if (uint64_t(bytes.size()) > 0xFFFFFFFFu)
            throw common::HException(fileName + QStringLiteral(": larger than a 32-bit ELF file can be"));
        input = std::make_shared<LoadFileInput>(bytes, fileName);
    }
    m_input = std::move(input);
    parse();
}

ElfLoadFile::~ElfLoadFile() = default;

std::unique_ptr<ElfLoadFile> ElfLoadFile::fromBytes(const QByteArray &bytes, const QString &name)
{
    std::unique_ptr<ElfLoadFile> file(new ElfLoadFile);
    file->m_input = std::make_shared<LoadFileInput>(bytes, name);
    file->parse();
    return file;
}

void ElfLoadFile::parse()
{
    const QString &name = m_input->name();
    auto fail = [&name](const QString &what) { throw common::HException(name + QStringLiteral(": ") + what); };
    const uint64_t length = m_input->size();
    char b[elfHeaderSize];
    if (length < 4)
        fail(QStringLiteral("not an ELF file"));
    m_input->readAt(0, b, std::min<uint64_t>(length, elfHeaderSize));
    if (std::memcmp(b, "\x7f" "ELF", 4) != 0)
        fail(QStringLiteral("not an ELF file"));
    if (length < elfHeaderSize)
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
    if (!inside(length, phoff, uint64_t(phnum) * phentsize))
        fail(QStringLiteral("truncated program header table"));

    const std::vector<ElfSection> sections = allocatedSections(b);
    for (int i = 0; i < phnum; ++i) {
        char ph[programHeaderSize];
        m_input->readAt(phoff + uint64_t(i) * phentsize, ph, programHeaderSize);
        const uint32_t type = word(ph, 0);
        const uint32_t offset = word(ph, 4);
        const uint32_t paddr = word(ph, 12);
        const uint32_t filesz = word(ph, 16);
        if (type != ptLoad || filesz == 0)
            continue;
        if (!inside(length, offset, filesz))
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
        const uint64_t address = uint64_t(paddr) + (begin - offset);
        if (address + (end - begin) > uint64_t(1) << 32)
            fail(QStringLiteral("segment %1 runs past the end of the 32-bit address space").arg(i));
        // The bytes stay in the file until they are used, so that a file the target refuses
        // is never read whole.
        m_sections.primarySections.push_back(std::make_unique<DeferredLoadFileSection>(
            sectionName.constData(), uint32_t(address), uint32_t(end - begin), m_input, begin));
    }
    if (m_sections.primarySections.empty())
        fail(QStringLiteral("no loadable segments"));
}

std::vector<ElfLoadFile::ElfSection> ElfLoadFile::allocatedSections(const char *b)
{
    const QString &name = m_input->name();
    const uint64_t length = m_input->size();
    std::vector<ElfSection> result;
    const uint32_t shoff = word(b, 32);
    const uint16_t shentsize = half(b, 46);
    const uint16_t shnum = half(b, 48);
    const uint16_t shstrndx = half(b, 50);
    // Section headers are optional in an executable; without them segments load whole.
    if (shoff == 0 || shnum == 0)
        return result;
    if (shentsize < sectionHeaderSize || !inside(length, shoff, uint64_t(shnum) * shentsize))
        throw common::HException(name + QStringLiteral(": truncated section header table"));
    char sh[sectionHeaderSize];
    uint32_t strtabOffset = 0, strtabSize = 0;
    if (shstrndx < shnum) {
        m_input->readAt(shoff + uint64_t(shstrndx) * shentsize, sh, sectionHeaderSize);
        strtabOffset = word(sh, 16);
        strtabSize = word(sh, 20);
        if (!inside(length, strtabOffset, strtabSize))
            throw common::HException(name + QStringLiteral(": truncated section name table"));
    }
    for (int i = 0; i < shnum; ++i) {
        m_input->readAt(shoff + uint64_t(i) * shentsize, sh, sectionHeaderSize);
        const uint32_t nameIndex = word(sh, 0);
        const uint32_t type = word(sh, 4);
        const uint32_t flags = word(sh, 8);
        const uint32_t offset = word(sh, 16);
        const uint32_t size = word(sh, 20);
        if (!(flags & shfAlloc) || type == shtNobits || size == 0)
            continue;
        ElfSection section{offset, size, QByteArray()};
        if (nameIndex < strtabSize) {
            char text[maxNameLength + 1];
            const uint64_t n = std::min<uint64_t>(strtabSize - nameIndex, sizeof text);
            m_input->readAt(uint64_t(strtabOffset) + nameIndex, text, n);
            const qsizetype nameLength = qstrnlen(text, size_t(n));
            // A name not terminated inside the table (or too long) is left out rather than cut.
            if (uint64_t(nameLength) < n)
                section.name = QByteArray(text, nameLength);
        }
        result.push_back(section);
    }
    return result;
}

} // namespace zim::loadfile
