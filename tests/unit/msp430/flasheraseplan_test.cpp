// FlashErasePlan: the groups built from the device limits, marking, the erase sequence and
// the refusal of FLASH that segment erase cannot reach.
#include "msp430/flasheraseplan.h"

#include "common/hexception.h"
#include "loadfile/intelhexloadfile.h"

#include <gtest/gtest.h>

#include <tuple>

using zim::msp430::FlashErasePlan;
using zim::msp430::FlashLayout;
using zim::msp430::FlashSegmentGroup;

namespace {

using Group = std::tuple<uint32_t, uint32_t, uint32_t>;

Group shape(const FlashSegmentGroup &g)
{
    return {g.start(), g.segmentSize(), g.count()};
}

// Limits as the device table gives them.
constexpr FlashLayout kF149{0x1000, 0x10FF, 128, 0x1100, 0xFFFF};
constexpr FlashLayout kF1121{0x1000, 0x10FF, 64, 0xF000, 0xFFFF};
constexpr FlashLayout kF1612{0x1000, 0x10FF, 128, 0x2500, 0xFFFF};
constexpr FlashLayout kF2619{0x1000, 0x10FF, 64, 0x2100, 0x1FFFF};
constexpr FlashLayout kF2618{0x1000, 0x10FF, 64, 0x3100, 0x1FFFF};
constexpr FlashLayout kF5438{0x1800, 0x19FF, 128, 0x5C00, 0x45BFF};

TEST(FlashErasePlanTest, GroupsFollowTheDeviceLimits)
{
    FlashErasePlan f149(kF149);
    EXPECT_EQ(shape(f149.information()), Group(0x1000, 128, 2));
    EXPECT_EQ(shape(f149.partial()), Group(0x1100, 256, 1));
    EXPECT_EQ(shape(f149.main()), Group(0x1200, 512, 119));

    FlashErasePlan f1121(kF1121);
    EXPECT_EQ(shape(f1121.information()), Group(0x1000, 64, 4));
    EXPECT_EQ(shape(f1121.partial()), Group(0x1100, 256, 1));
    EXPECT_EQ(shape(f1121.main()), Group(0xF000, 512, 8));

    // Main FLASH starting inside a real 512-byte segment: the piece up to the boundary is the
    // partial group, the main group starts on the boundary.
    FlashErasePlan f2619(kF2619);
    EXPECT_EQ(shape(f2619.partial()), Group(0x2100, 256, 1));
    EXPECT_EQ(shape(f2619.main()), Group(0x2200, 512, 111));
    FlashErasePlan f1612(kF1612);
    EXPECT_EQ(shape(f1612.partial()), Group(0x2500, 256, 1));
    EXPECT_EQ(shape(f1612.main()), Group(0x2600, 512, 109));

    // 512 bytes of information memory are planned whole.
    FlashErasePlan f5438(kF5438);
    EXPECT_EQ(shape(f5438.information()), Group(0x1800, 128, 4));
    EXPECT_EQ(shape(f5438.main()), Group(0x5C00, 512, 82));
}

TEST(FlashErasePlanTest, MarkingCountsEachSegmentOnce)
{
    FlashErasePlan plan(kF149);
    uint32_t start = 0, length = 0;
    plan.eraseRange(0x10FE, 4, &start, &length);
    EXPECT_EQ(start, 0x10FEu);
    EXPECT_EQ(length, 4u);
    EXPECT_EQ(plan.markedCount(), 2u);
    EXPECT_TRUE(plan.information().isMarked(1));
    EXPECT_TRUE(plan.partial().isMarked(0));
    plan.eraseRange(0x10FE, 4);
    EXPECT_EQ(plan.markedCount(), 2u);
    plan.eraseRange(0x4000, 0);
    EXPECT_EQ(plan.markedCount(), 2u);

    const auto erases = plan.erases();
    ASSERT_EQ(erases.size(), 2u);
    EXPECT_EQ(erases[0].message, "Erasing segment 0x1080 - 0x10ff");
    EXPECT_EQ(erases[1].message, "Erasing segment 0x1100 - 0x11ff");
    EXPECT_EQ(FlashErasePlan::segmentMessage(0x1000, 0x107F), "Erasing segment 0x1000 - 0x107f");
}

TEST(FlashErasePlanTest, BlinkyErasesTwoSegmentsInAddressOrder)
{
    zim::loadfile::IntelHexLoadFile file(QStringLiteral(ZIM_SOURCE_DIR "/examples/blinky.hex"));
    FlashErasePlan plan(kF149);
    // Highest section first, so that the order of the erases comes from the plan.
    auto &sections = file.sections().primarySections;
    for (auto it = sections.rbegin(); it != sections.rend(); ++it)
        plan.eraseRange((*it)->address(), (*it)->size());

    EXPECT_EQ(plan.markedCount(), 2u);
    const auto erases = plan.erases();
    ASSERT_EQ(erases.size(), 2u);
    EXPECT_EQ(erases[0].message, "Erasing segment 0xf000 - 0xf1ff");
    EXPECT_EQ(erases[0].start, 0xF000u);
    EXPECT_EQ(erases[0].length, 512u);
    EXPECT_EQ(erases[0].progress, 1);
    EXPECT_EQ(erases[1].message, "Erasing segment 0xfe00 - 0xffff");
    EXPECT_EQ(erases[1].progress, 2);
    EXPECT_STREQ(FlashErasePlan::kProgressTitle, "Erasing FLASH memory");
    EXPECT_STREQ(FlashErasePlan::kProgressUnit, "sectors");
}

// A segment erase clears the real 512-byte segment that holds its start address.
bool erasedByPlan(const std::vector<zim::msp430::FlashSegmentErase> &erases, uint32_t address)
{
    for (const auto &e : erases) {
        if ((e.start & ~0x1FFu) == (address & ~0x1FFu))
            return true;
    }
    return false;
}

TEST(FlashErasePlanTest, UnalignedMainFlashLeavesNoMarkedByteUnerased)
{
    const struct { uint32_t first, count; } ranges[] = {
        {0x2100, 2}, {0x22F0, 0x20}, {0x24FF, 2}, {0x3100, 0x300}, {0x31FE, 4}, {0x7F00, 0x400},
        {0xFFE0, 0x20}};
    for (const FlashLayout &layout : {kF2619, kF1612, kF2618}) {
        FlashErasePlan plan(layout);
        for (const auto &r : ranges) {
            if (r.first >= layout.flashStart)
                plan.eraseRange(r.first, r.count);
        }
        const auto erases = plan.erases();
        for (const auto &r : ranges) {
            for (uint32_t a = r.first; r.first >= layout.flashStart && a < r.first + r.count; ++a)
                EXPECT_TRUE(erasedByPlan(erases, a)) << "flash at 0x" << std::hex << layout.flashStart
                                                     << ": byte 0x" << a << " not erased";
        }
    }
}

TEST(FlashErasePlanTest, FlashAboveSixtyFourKilobytesIsRefused)
{
    FlashErasePlan plan(kF2619);
    try {
        plan.eraseRange(0xFF00, 0x300);
        FAIL() << "no refusal";
    } catch (const zim::common::HException &e) {
        EXPECT_EQ(e.message(), QStringLiteral(
            "FLASH 0x10000\u20140x101ff lies above 0xffff, out of reach of segment erase: erase all "
            "FLASH with -setprop \"Erase All=yes\" or load through the msp430_dll target"));
    }
    // Nothing of the refused range is marked.
    EXPECT_EQ(plan.markedCount(), 0u);
    EXPECT_NO_THROW(plan.checkReachable(0xFF00, 0x100));

    // Without FLASH up there, addresses beyond 0xffff are nothing to erase.
    FlashErasePlan small(kF149);
    EXPECT_NO_THROW(small.eraseRange(0x10000, 0x100));
    EXPECT_EQ(small.markedCount(), 0u);
}

} // namespace
