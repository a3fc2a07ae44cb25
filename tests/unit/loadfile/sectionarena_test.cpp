// Sections growing in a shared arena: bytes kept when a section has to move out, the arena
// kept alive by its sections, and large texts read the same through it.
#include "loadfile/intelhexloadfile.h"
#include "loadfile/loadfilesection.h"
#include "loadfile/sectionarena.h"
#include "loadfiletestutil.h"

#include <gtest/gtest.h>
#include <map>
#include <random>

namespace {

using zim::loadfile::ExpandingLoadFileSection;
using zim::loadfile::SectionArena;

void fill(ExpandingLoadFileSection &section, uint32_t n, uint8_t first)
{
    uint8_t *bytes = section.append(n);
    for (uint32_t i = 0; i < n; ++i)
        bytes[i] = uint8_t(first + i);
}

std::vector<uint8_t> bytesOf(const ExpandingLoadFileSection &section)
{
    return std::vector<uint8_t>(section.data(), section.data() + section.size());
}

std::vector<uint8_t> counting(uint32_t n, uint8_t first)
{
    std::vector<uint8_t> bytes(n);
    for (uint32_t i = 0; i < n; ++i)
        bytes[i] = uint8_t(first + i);
    return bytes;
}

TEST(SectionArena, PutsSectionsBackToBackAndMovesAClosedOneOutWhenItGrowsAgain)
{
    auto arena = SectionArena::reserve(4096);
    ASSERT_TRUE(arena);
    ExpandingLoadFileSection first("", 0x1000, arena);
    fill(first, 100, 1);
    first.close();
    ExpandingLoadFileSection second("", 0x8000, arena);
    fill(second, 50, 7);
    EXPECT_EQ(second.data(), first.data() + 100);
    fill(first, 30, 101);
    EXPECT_EQ(bytesOf(first), counting(130, 1));
    EXPECT_EQ(bytesOf(second), counting(50, 7)) << "the second section keeps its bytes";
    fill(second, 10, 57);
    EXPECT_EQ(bytesOf(second), counting(60, 7));
}

TEST(SectionArena, MovesASectionOutWhenTheArenaIsFull)
{
    auto arena = SectionArena::reserve(64);
    ASSERT_TRUE(arena);
    ExpandingLoadFileSection section("", 0, arena);
    fill(section, 60, 0);
    fill(section, 60, 60);
    fill(section, 200, 120);
    EXPECT_EQ(bytesOf(section), counting(320, 0));
}

// An Intel hex text of about `bytes` data bytes in 16-byte records, jumping between a few
// regions and sometimes continuing a region left earlier, with the memory it describes.
QByteArray scatteredHex(uint32_t bytes, std::map<uint32_t, uint8_t> &memory)
{
    std::mt19937 random(3);
    QByteArray text;
    auto hex = [&text](uint32_t value, int digits) {
        text += QByteArray::number(value, 16).toUpper().rightJustified(digits, '0');
    };
    uint32_t next[4] = {0x10000, 0x40000, 0x80000, 0xC0000};
    uint32_t upper = 0xFFFFFFFF;
    for (uint32_t done = 0; done < bytes; done += 16) {
        uint32_t &address = next[random() % 4 == 0 ? random() % 4 : done / 65536 % 4];
        if (address >> 16 != upper) {
            upper = address >> 16;
            text += ":02000004", hex(upper, 4), hex(uint8_t(-(6 + (upper >> 8) + upper)), 2), text += '\n';
        }
        uint8_t sum = uint8_t(16 + (address >> 8) + address);
        text += ":10", hex(address & 0xFFFF, 4), text += "00";
        for (int i = 0; i < 16; ++i) {
            const uint8_t b = uint8_t(random());
            memory[address + uint32_t(i)] = b;
            hex(b, 2), sum = uint8_t(sum + b);
        }
        hex(uint8_t(-sum), 2), text += '\n';
        address += 16;
    }
    return text + ":00000001FF\n";
}

// A large text reads the same through the arena, and a section kept from it outlives the load
// file with its bytes.
TEST(SectionArena, LargeTextsReadTheSameThroughItAndOutliveTheirLoadFile)
{
    std::map<uint32_t, uint8_t> expected;
    const QByteArray text = scatteredHex(1200 * 1024, expected);
    ASSERT_GT(text.size(), 3 << 20) << "large enough to be read through an arena";
    std::unique_ptr<zim::loadfile::LoadFileSectionInterface> kept;
    {
        auto file = zim::loadfile::IntelHexLoadFile::fromText(text);
        EXPECT_GT(file->sections().primarySections.size(), 100u);
        EXPECT_EQ(memoryOf(*file), expected);
        kept = std::move(file->sections().primarySections.back());
    }
    for (uint32_t i = 0; i < kept->size(); ++i)
        ASSERT_EQ(kept->data()[i], expected.at(kept->address() + i)) << i;
}

} // namespace
