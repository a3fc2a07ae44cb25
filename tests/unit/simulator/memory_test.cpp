// The simulator memory: download blocks, the peripheral path, recorded access errors and the multiplier.
#include "simulatortestutil.h"

#include <numeric>

namespace {

class MemoryTest : public testing::Test, protected SimulatorFixture
{
};

TEST_F(MemoryTest, DownloadMarksExactlyTheWrittenBytes)
{
    std::vector<uint8_t> data(16);
    std::iota(data.begin(), data.end(), 1);
    memory().writeBytes(0x1100, 16, data.data());

    for (uint32_t a = 0x10FF; a <= 0x1110; ++a) {
        const bool inside = a >= 0x1100 && a < 0x1110;
        EXPECT_EQ(memory().isWritten(a), inside) << std::hex << a;
        EXPECT_EQ(memory().storedByte(a), inside ? a - 0x1100 + 1 : 0xCD) << std::hex << a;
    }
}

TEST_F(MemoryTest, BlockThroughThePeripheralAreasRoundTrips)
{
    // 0x00FE-0x00FF byte by byte, 0x0100-0x01FF word by word, then straight into RAM.
    std::vector<uint8_t> data(0x110);
    std::iota(data.begin(), data.end(), 0);
    memory().writeBytes(0x00FE, uint32_t(data.size()), data.data());
    std::vector<uint8_t> back(data.size());
    memory().readBytes(0x00FE, uint32_t(back.size()), back.data());
    // The multiplier's registers at 0x0130-0x013F are not storage.
    for (uint32_t a = 0x130; a <= 0x13F; ++a)
        back[a - 0xFE] = data[a - 0xFE];
    EXPECT_EQ(back, data);
    EXPECT_EQ(memory().multiplier()->read(0x130), 0x3938u) << "the operand holds the last word written to 0x0136";
    EXPECT_FALSE(memory().isWritten(0x01FF));
    EXPECT_TRUE(memory().isWritten(0x0200));
}

TEST_F(MemoryTest, OneByteDownloadAtTheLastPeripheralWordLeavesRamAlone)
{
    const uint8_t ram[2] = {0x34, 0x12};
    memory().writeBytes(0x0200, 2, ram);
    const uint8_t byte = 0x5A;
    memory().writeBytes(0x01FF, 1, &byte);
    uint8_t back[3] = {};
    memory().readBytes(0x01FF, 1, back);
    memory().readBytes(0x0200, 2, back + 1);
    EXPECT_EQ(back[0], 0x5A);
    EXPECT_EQ(back[1], 0x34);
    EXPECT_EQ(back[2], 0x12);
}

struct AccessCase
{
    const char *name;
    std::vector<uint16_t> words;
    uint32_t sp;
    zim::simulator::SimulatorError kind;
    uint32_t datum;
};

void PrintTo(const AccessCase &c, std::ostream *os)
{
    *os << c.name;
}

const AccessCase kAccessCases[] = {
    {"word read at 0x0201", {0x4215, 0x0201}, 0x0A00, zim::simulator::SimulatorError::UnalignedWordRead, 0x0201},
    {"read at 0x0A00", {0x4215, 0x0A00}, 0x0A00, zim::simulator::SimulatorError::OutOfRangeRead, 0x0A00},
    {"word read across the RAM end", {0x4215, 0x09FF}, 0x0A00, zim::simulator::SimulatorError::OutOfRangeRead, 0x09FF},
    {"push below the map", {0x1205}, 0x0A04, zim::simulator::SimulatorError::OutOfRangeWrite, 0x0A02},
    {"push to an odd stack", {0x1205}, 0x0203, zim::simulator::SimulatorError::UnalignedWordWrite, 0x0201},
    {"the destination is read even by MOV", {0x4582, 0x0A00}, 0x0A00, zim::simulator::SimulatorError::OutOfRangeRead, 0x0A00},
    {"SXT.B is not an instruction", {0x11C5}, 0x0A00, zim::simulator::SimulatorError::UnsupportedOpcode, 0x11C5},
};

class AccessErrorTest : public testing::TestWithParam<AccessCase>, protected SimulatorFixture
{
};

TEST_P(AccessErrorTest, IsRecordedAndExecutionGoesOn)
{
    const AccessCase &c = GetParam();
    load(c.words);
    regs().write(zim::msp430::MSP430Registers::SP, c.sp);
    sim.step();
    EXPECT_EQ(sim.errorKind(), c.kind);
    EXPECT_EQ(sim.errorDatum(), c.datum);
    EXPECT_EQ(regs().read(zim::msp430::MSP430Registers::PC), kCode + 2 * c.words.size()) << "execution goes on";
}

INSTANTIATE_TEST_SUITE_P(Cases, AccessErrorTest, testing::ValuesIn(kAccessCases));

struct MultiplierCase
{
    const char *name;
    uint32_t operandAddress;
    uint16_t first;
    uint16_t second;
    uint32_t initialResult;
    uint16_t low;
    uint16_t high;
    uint16_t extension;
};

void PrintTo(const MultiplierCase &c, std::ostream *os)
{
    *os << c.name;
}

const MultiplierCase kMultiplierCases[] = {
    {"MPY of the largest operands", 0x130, 0xFFFF, 0xFFFF, 0, 0x0001, 0xFFFE, 0},
    {"MPYS of -1 and 2", 0x132, 0xFFFF, 0x0002, 0, 0xFFFE, 0xFFFF, 0xFFFF},
    {"MAC overflowing 32 bits", 0x134, 1, 1, 0xFFFFFFFF, 0, 0, 1},
    {"MAC adds to the result", 0x134, 2, 3, 5, 11, 0, 0},
    {"MACS going negative", 0x136, 0xFFFF, 10, 5, 0xFFFB, 0xFFFF, 0xFFFF},
};

class MultiplierTest : public testing::TestWithParam<MultiplierCase>
{
};

TEST_P(MultiplierTest, ModeResult)
{
    const MultiplierCase &c = GetParam();
    zim::simulator::HardwareMultiplier multiplier;
    multiplier.write(0x13A, uint16_t(c.initialResult));
    multiplier.write(0x13C, uint16_t(c.initialResult >> 16));
    multiplier.write(c.operandAddress, c.first);
    multiplier.write(0x138, c.second);
    EXPECT_EQ(multiplier.read(0x13A), c.low);
    EXPECT_EQ(multiplier.read(0x13C), c.high);
    EXPECT_EQ(multiplier.read(0x13E), c.extension);
}

INSTANTIATE_TEST_SUITE_P(Modes, MultiplierTest, testing::ValuesIn(kMultiplierCases));

} // namespace
