// The download planner as data: whole plans for given sections, memories and options.
#include "fakes/faketarget.h"
#include "target/downloadplan.h"

#include <gtest/gtest.h>

// Failures show plans field by field rather than as raw bytes.
void PrintTo(const zim::target::AddressRange &range, std::ostream *os)
{
    *os << std::hex << range.first << "-" << range.last;
}

void PrintTo(const zim::target::PlanBlock &block, std::ostream *os)
{
    *os << std::hex << block.address << "+" << block.count << "@" << block.offset << (block.last ? " last" : "");
}

void PrintTo(const zim::target::EraseStep &step, std::ostream *os)
{
    *os << std::hex << step.address << "+" << step.count << (step.erase ? " erases " : " within ");
    PrintTo(step.cleared, os);
}

void PrintTo(const zim::target::SectionBlocks &steps, std::ostream *os)
{
    *os << "section " << steps.section << (steps.zeroFill ? " zeros" : "") << " " << testing::PrintToString(steps.blocks);
}

void PrintTo(const zim::target::SpacePlan &space, std::ostream *os)
{
    *os << "space " << space.space << " total " << space.total << " erase " << int(space.erase) << " "
        << testing::PrintToString(space.eraseSteps) << " program " << testing::PrintToString(space.program)
        << " verify " << testing::PrintToString(space.verify) << " readBack "
        << testing::PrintToString(space.readBack);
}

void PrintTo(const zim::target::DownloadPlan &plan, std::ostream *os)
{
    *os << testing::PrintToString(plan.spaces);
}

namespace {

zim::target::MemoryDescription flash(uint32_t segmentSize = 0)
{
    zim::target::MemoryDescription memory;
    memory.erasable = true;
    memory.segments.segmentSize = segmentSize;
    return memory;
}

zim::target::DownloadOptions programming(bool eraseAll = false)
{
    zim::target::DownloadOptions options;
    options.program = true;
    options.eraseAll = eraseAll;
    return options;
}

TEST(DownloadPlan, EraseAllCoversEachErasableSpaceAndLeavesRamAlone)
{
    FakeLoadFile file;
    file.add(0, "text", 0x1100, 100);
    file.add(1, "data", 0x0200, 10);
    zim::target::MemoryDescription ram;
    ram.erasable = false;

    const zim::target::DownloadPlan plan = zim::target::planDownload(
        {{0, &file.sections().primarySections, flash(512)}, {1, &file.sections().secondarySections, ram}},
        programming(true));

    ASSERT_EQ(plan.spaces.size(), 2u);
    EXPECT_EQ(plan.spaces[0].erase, zim::target::EraseMode::Whole);
    EXPECT_TRUE(plan.spaces[0].eraseSteps.empty());
    EXPECT_EQ(plan.spaces[1].erase, zim::target::EraseMode::None);
    // Without limits each section is one block, and each space has its own last block.
    EXPECT_EQ(plan.spaces[0].program, (std::vector<zim::target::SectionBlocks>{{0, false, {{0x1100, 100, 0, true}}}}));
    EXPECT_EQ(plan.spaces[1].program, (std::vector<zim::target::SectionBlocks>{{0, false, {{0x0200, 10, 0, true}}}}));
}

TEST(DownloadPlan, SectionsWithoutBytesAreFilledInFillBlocksAndNeverMarkedLast)
{
    FakeLoadFile file;
    file.add(0, "code", 0x1100, 4);
    file.addFill(0, "bss", 0x0200, 600);
    zim::target::MemoryDescription memory = flash();
    memory.maxWriteBlock = 2;
    memory.maxFillBlock = 256;
    memory.maxVerifyBlock = 512;
    zim::target::DownloadOptions options = programming();
    options.verify = true;

    const zim::target::DownloadPlan plan = zim::target::planDownload({{0, &file.sections().primarySections, memory}}, options);

    ASSERT_EQ(plan.spaces.size(), 1u);
    const zim::target::SpacePlan &space = plan.spaces[0];
    // A section without bytes is erased like any other.
    EXPECT_EQ(space.eraseSteps, (std::vector<zim::target::EraseStep>{{0x1100, 4, true, {0x1100, 0x1103}},
                                                         {0x0200, 600, true, {0x0200, 0x0457}}}));
    EXPECT_EQ(space.program,
              (std::vector<zim::target::SectionBlocks>{
                  {0, false, {{0x1100, 2, 0, false}, {0x1102, 2, 2, false}}},
                  {1, true, {{0x0200, 256, 0, false}, {0x0300, 256, 256, false}, {0x0400, 88, 512, false}}}}));
    EXPECT_EQ(space.verify, (std::vector<zim::target::SectionBlocks>{{0, false, {{0x1100, 4, 0, false}}},
                                                         {1, true, {{0x0200, 512, 0, false}, {0x0400, 88, 512, false}}}}));
}

TEST(DownloadPlan, WithoutProgrammingNothingIsErasedAndReadBackFollowsTheReadLimit)
{
    FakeLoadFile file;
    file.add(0, "a", 0x1100, 250);
    zim::target::MemoryDescription memory = flash(512);
    memory.maxReadBlock = 100;
    zim::target::DownloadOptions options;
    options.readBack = true;
    options.eraseAll = true;

    const zim::target::DownloadPlan plan = zim::target::planDownload({{0, &file.sections().primarySections, memory}}, options);

    zim::target::SpacePlan space;
    space.total = 250;
    space.readBack = {{0, false, {{0x1100, 100, 0, false}, {0x1164, 100, 100, false}, {0x11C8, 50, 200, false}}}};
    EXPECT_EQ(plan, (zim::target::DownloadPlan{options, {space}}));
}

TEST(DownloadPlan, AnEmptySpaceHasNoErasePhase)
{
    FakeLoadFile file;
    file.add(0, "empty", 0x1100, 0);
    const zim::target::DownloadPlan plan = zim::target::planDownload({{0, &file.sections().primarySections, flash(512)}}, programming());
    ASSERT_EQ(plan.spaces.size(), 1u);
    EXPECT_EQ(plan.spaces[0].erase, zim::target::EraseMode::None);
    // The section is still announced, with no blocks.
    ASSERT_EQ(plan.spaces[0].program.size(), 1u);
    EXPECT_TRUE(plan.spaces[0].program[0].blocks.empty());
}

struct ClearCase
{
    const char *name;
    uint32_t segmentSize;
    uint32_t address;
    uint32_t count;
    zim::target::AddressRange cleared;
};

class SegmentLayoutClears : public testing::TestWithParam<ClearCase> {};

TEST_P(SegmentLayoutClears, TheRangeItsErasesReport)
{
    const ClearCase &c = GetParam();
    EXPECT_EQ(zim::target::SegmentLayout{c.segmentSize}.clearedBy(c.address, c.count), c.cleared);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SegmentLayoutClears,
    testing::Values(ClearCase{"WithoutSegmentsTheRangeAsked", 0, 0x1101, 3, {0x1101, 0x1103}},
                    ClearCase{"InsideOneSegment", 512, 0x1100, 16, {0x1000, 0x11FF}},
                    ClearCase{"StraddlingTwoSegments", 512, 0x11FF, 2, {0x1000, 0x13FF}},
                    ClearCase{"EndingOnASegmentEnd", 256, 0x1100, 256, {0x1100, 0x11FF}},
                    ClearCase{"AtTheTopOfTheAddressSpace", 512, 0xFFFFFFF0, 16, {0xFFFFFE00, 0xFFFFFFFF}}),
    [](const testing::TestParamInfo<ClearCase> &info) { return std::string(info.param.name); });

} // namespace
