// The ELF reader on executables built byte by byte and on damaged ones.
#include "loadfile/elfloadfile.h"
#include "loadfiletestutil.h"

#include <QtEndian>
#include <gtest/gtest.h>

namespace {

// Builds a small MSP430 executable: the ELF header, the program headers, the segment bytes,
// a section name table and the section headers, in that order.
class ElfBuilder
{
public:
    struct Segment
    {
        uint32_t type;
        uint32_t vaddr;
        uint32_t paddr;
        QByteArray bytes;
        uint32_t memsz; // 0: the size of bytes
        const char *section; // allocated section covering the bytes, or null
    };

    std::vector<Segment> segments;
    uint32_t entry = 0xF000;
    bool headersInFirstSegment = false;

    QByteArray build() const
    {
        const uint32_t phoff = 52;
        const uint32_t dataStart = phoff + 32 * uint32_t(segments.size());
        QByteArray data, names("\0", 1), sectionHeaders(40, '\0');
        std::vector<uint32_t> offsets;
        for (const Segment &segment : segments) {
            offsets.push_back(dataStart + uint32_t(data.size()));
            data += segment.bytes;
        }
        names += ".shstrtab";
        names += '\0';
        int sectionCount = 1;
        for (size_t i = 0; i < segments.size(); ++i) {
            if (!segments[i].section)
                continue;
            sectionHeaders += sectionHeader(uint32_t(names.size()), 1, 2 /*alloc*/, segments[i].vaddr, offsets[i],
                                            uint32_t(segments[i].bytes.size()));
            names += segments[i].section;
            names += '\0';
            ++sectionCount;
        }
        const uint32_t namesOffset = dataStart + uint32_t(data.size());
        sectionHeaders += sectionHeader(1, 3 /*strtab*/, 0, 0, namesOffset, uint32_t(names.size()));
        const uint32_t shoff = namesOffset + uint32_t(names.size());

        QByteArray out;
        out += QByteArray("\x7f" "ELF\x01\x01\x01", 7) + QByteArray(9, '\0');
        out += le16(2) + le16(105) + le32(1) + le32(entry) + le32(phoff);
        out += le32(shoff) + le32(0) + le16(52) + le16(32) + le16(uint16_t(segments.size()));
        out += le16(40) + le16(uint16_t(sectionCount + 1)) + le16(uint16_t(sectionCount));
        for (size_t i = 0; i < segments.size(); ++i) {
            const Segment &s = segments[i];
            uint32_t offset = offsets[i], size = uint32_t(s.bytes.size()), vaddr = s.vaddr, paddr = s.paddr;
            if (i == 0 && headersInFirstSegment) {
                vaddr -= offset;
                paddr -= offset;
                size += offset;
                offset = 0;
            }
            out += le32(s.type) + le32(offset) + le32(vaddr) + le32(paddr) + le32(size);
            out += le32(s.memsz ? s.memsz : size) + le32(5) + le32(1);
        }
        out += data + names + sectionHeaders;
        return out;
    }

private:
    static QByteArray le16(uint16_t v)
    {
        char b[2];
        qToLittleEndian(v, b);
        return QByteArray(b, 2);
    }
    static QByteArray le32(uint32_t v)
    {
        char b[4];
        qToLittleEndian(v, b);
        return QByteArray(b, 4);
    }
    static QByteArray sectionHeader(uint32_t name, uint32_t type, uint32_t flags, uint32_t addr, uint32_t offset,
                                    uint32_t size)
    {
        return le32(name) + le32(type) + le32(flags) + le32(addr) + le32(offset) + le32(size) + le32(0) +
               le32(0) + le32(1) + le32(0);
    }
};

constexpr uint32_t load = 1;

ElfBuilder twoSegments()
{
    ElfBuilder elf;
    elf.segments = {{load, 0xF000, 0xF000, QByteArray("\x31\x40\x00\x0A", 4), 0, ".text"},
                    {load, 0xFFFE, 0xFFFE, QByteArray("\x00\xF0", 2), 0, ".vectors"}};
    return elf;
}

TEST(ElfLoadFile, LoadsEachSegmentWithBytesAtItsLoadAddress)
{
    ElfBuilder elf = twoSegments();
    elf.entry = 0xF002;
    // .data runs at 0x200 but is stored after the code; .bss has no bytes in the file.
    elf.segments.push_back({load, 0x0200, 0xF004, QByteArray("\x12\x34", 2), 0, ".data"});
    elf.segments.push_back({load, 0x0202, 0x0202, QByteArray(), 0x20, nullptr});
    elf.segments.push_back({4 /*note*/, 0, 0, QByteArray("zzzz"), 0, nullptr});
    auto file = zim::loadfile::ElfLoadFile::fromBytes(elf.build(), "a.elf");
    EXPECT_EQ(primaryOf(*file), (std::vector<SectionData>{{0xF000, {0x31, 0x40, 0x00, 0x0A}},
                                                          {0xFFFE, {0x00, 0xF0}},
                                                          {0xF004, {0x12, 0x34}}}));
    EXPECT_STREQ(file->sections().primarySections.at(2)->name(), ".data");
    EXPECT_TRUE(file->hasStartAddress());
    EXPECT_EQ(file->startAddress(), 0xF002u);
}

TEST(ElfLoadFile, LeavesTheMappedHeadersOutOfTheFirstSegment)
{
    ElfBuilder elf = twoSegments();
    elf.headersInFirstSegment = true;
    auto file = zim::loadfile::ElfLoadFile::fromBytes(elf.build(), "a.elf");
    EXPECT_EQ(primaryOf(*file),
              (std::vector<SectionData>{{0xF000, {0x31, 0x40, 0x00, 0x0A}}, {0xFFFE, {0x00, 0xF0}}}));
}

struct Damage
{
    const char *what;
    std::function<void(QByteArray &)> apply;
    const char *message;
};

class RejectsDamagedElf : public testing::TestWithParam<Damage>
{
};

TEST_P(RejectsDamagedElf, NamingTheFile)
{
    QByteArray bytes = twoSegments().build();
    GetParam().apply(bytes);
    EXPECT_EQ(messageOf([&] { zim::loadfile::ElfLoadFile::fromBytes(bytes, "prog.elf"); }),
              QString("prog.elf: ") + GetParam().message);
}

void put32(QByteArray &b, int offset, uint32_t v)
{
    qToLittleEndian(v, b.data() + offset);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RejectsDamagedElf,
    testing::Values(
        Damage{"intel hex", [](QByteArray &b) { b = ":00000001FF\n"; }, "not an ELF file"},
        Damage{"short header", [](QByteArray &b) { b.truncate(40); }, "truncated ELF header"},
        Damage{"64-bit", [](QByteArray &b) { b[4] = 2; }, "not a 32-bit ELF file (class 2)"},
        Damage{"big-endian", [](QByteArray &b) { b[5] = 2; }, "not a little-endian ELF file (data encoding 2)"},
        Damage{"ARM", [](QByteArray &b) { b[18] = 40; }, "not an MSP430 ELF file (machine 40)"},
        Damage{"no program headers", [](QByteArray &b) { b[44] = 0; },
               "no program headers (not a linked executable)"},
        Damage{"program headers past the end", [](QByteArray &b) { put32(b, 28, 0xFFFFFFF0); },
               "truncated program header table"},
        Damage{"segment past the end", [](QByteArray &b) { put32(b, 52 + 32 + 16, 0x7FFFFFFF); },
               "truncated segment 1 (2147483647 bytes at file offset 0x78)"},
        Damage{"segment offset wraps", [](QByteArray &b) { put32(b, 52 + 4, 0xFFFFFFFF); },
               "truncated segment 0 (4 bytes at file offset 0xffffffff)"},
        Damage{"no loadable segment", [](QByteArray &b) { put32(b, 52, 4), put32(b, 84, 6); },
               "no loadable segments"},
        Damage{"section headers cut off", [](QByteArray &b) { b.chop(8); }, "truncated section header table"},
        Damage{"name table past the end", [](QByteArray &b) { put32(b, b.size() - 40 + 16, 0x10000); },
               "truncated section name table"},
        Damage{"segment past the top of the address space", [](QByteArray &b) { put32(b, 52 + 12, 0xFFFFFFFE); },
               "segment 0 runs past the end of the 32-bit address space"}),
    [](const testing::TestParamInfo<Damage> &info) { return testName(info.param.what); });

} // namespace
