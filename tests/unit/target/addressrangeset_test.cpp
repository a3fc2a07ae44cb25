// The address-range set and the union of the ranges several load files occupy.
#include "fakes/faketarget.h"
#include "target/addressrangeset.h"
#include "target/loadedranges.h"

#include <gtest/gtest.h>

namespace {

struct RangeCase
{
    const char *name;
    std::vector<zim::target::AddressRange> added;
    std::vector<zim::target::AddressRange> held;
};

class AddressRangeSetAdds : public testing::TestWithParam<RangeCase> {};

TEST_P(AddressRangeSetAdds, HoldsTheExpectedRanges)
{
    zim::target::AddressRangeSet set;
    for (const zim::target::AddressRange &range : GetParam().added)
        set.add(range);
    EXPECT_EQ(set.ranges(), GetParam().held);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AddressRangeSetAdds,
    testing::Values(
        RangeCase{"OverlappingRangesMerge", {{0x1100, 0x11FF}, {0x1180, 0x12FF}}, {{0x1100, 0x12FF}}},
        RangeCase{"TouchingRangesStayApart", {{0x1110, 0x1111}, {0x1100, 0x110F}}, {{0x1100, 0x110F}, {0x1110, 0x1111}}},
        RangeCase{"AContainedRangeIsAbsorbed", {{0x1000, 0x1FFF}, {0x1100, 0x1101}}, {{0x1000, 0x1FFF}}},
        RangeCase{"ABridgeJoinsEverythingItOverlaps",
                  {{0x1000, 0x10FF}, {0x1200, 0x12FF}, {0x1400, 0x14FF}, {0x10FF, 0x1200}},
                  {{0x1000, 0x12FF}, {0x1400, 0x14FF}}},
        RangeCase{"SingleAddressesAtBothEnds", {{0xFFFFFFFF, 0xFFFFFFFF}, {0, 0}}, {{0, 0}, {0xFFFFFFFF, 0xFFFFFFFF}}}),
    [](const testing::TestParamInfo<RangeCase> &info) { return std::string(info.param.name); });

TEST(AddressRangeSet, FindsTheRangeHoldingAnAddress)
{
    zim::target::AddressRangeSet set;
    set.add({0x1000, 0x11FF});
    set.add({0x1200, 0x13FF});
    EXPECT_EQ(set.find(0x11FF), (zim::target::AddressRange{0x1000, 0x11FF}));
    EXPECT_EQ(set.find(0x1200), (zim::target::AddressRange{0x1200, 0x13FF}));
    EXPECT_FALSE(set.find(0x0FFF));
    EXPECT_FALSE(set.find(0x1400));
    EXPECT_EQ(set.byteCount(), 0x400u);
}

TEST(LoadedRanges, OverlapsOfSeveralFilesBecomeOneSectionNamedByItsFirstStart)
{
    FakeLoadFile first;
    first.add(0, "text", 0x1100, 0x20);
    first.add(0, "vectors", 0xFFFE, 2);
    first.add(1, "info", 0x1000, 8);
    first.setStartAddress(0x1100);
    FakeLoadFile second;
    second.add(0, "patch", 0x1110, 0x20);
    second.add(0, "", 0x2000, 0);
    second.setStartAddress(0x1110);

    zim::target::LoadedRanges ranges;
    ranges.add(first);
    ranges.add(second);

    const zim::loadfile::LoadFileSectionList main = ranges.sections(0);
    ASSERT_EQ(main.size(), 2u);
    EXPECT_STREQ(main[0]->name(), "text");
    EXPECT_EQ(main[0]->address(), 0x1100u);
    EXPECT_EQ(main[0]->size(), 0x30u);
    EXPECT_EQ(main[1]->address(), 0xFFFEu);
    EXPECT_EQ(ranges.ranges(1).ranges(), (std::vector<zim::target::AddressRange>{{0x1000, 0x1007}}));
    EXPECT_EQ(ranges.startAddress(), 0x1100u);
}

} // namespace
