// Record sizes, alignment and the layout of sections.
#include "tevo/tevoexpr.h"
#include "tevo/tevoinsn.h"
#include "tevo/tevomodule.h"
#include "tevo/tevomsp430insn.h"
#include "tevo/tevosection.h"
#include "unit/tevo/tevotestutil.h"

#include <gtest/gtest.h>

namespace zim::tevo {
namespace {

struct AlignCase
{
    const char *name;
    uint32_t n;
    uint32_t address;
    uint32_t size;
};

class Alignment : public testing::TestWithParam<AlignCase>
{
};

TEST_P(Alignment, Size)
{
    zim::tevo::TEVOAlignInsn align(GetParam().n);
    align.setAddress(GetParam().address);
    EXPECT_EQ(align.size(), GetParam().size);
}

INSTANTIATE_TEST_SUITE_P(Layout, Alignment,
                         testing::Values(AlignCase{"FourAt1002PadsTwo", 4, 0x1002, 2},
                                         AlignCase{"FourAt1004PadsNothing", 4, 0x1004, 0},
                                         AlignCase{"NoAddressPadsNothing", 4, 0xFFFFFFFF, 0},
                                         AlignCase{"ZeroAlignmentPadsNothing", 0, 0x1001, 0},
                                         AlignCase{"LargeAlignmentFromAddressZeroPadsNothing", 0x10000, 0, 0},
                                         AlignCase{"OddAddressToWord", 2, 0x1001, 1}),
                         [](const testing::TestParamInfo<AlignCase> &info) { return std::string(info.param.name); });

struct SizeCase
{
    const char *name;
    uint32_t code;
    bool first;
    bool second;
    uint32_t size;
};

class InstructionSizes : public testing::TestWithParam<SizeCase>
{
};

TEST_P(InstructionSizes, BySizeClass)
{
    const SizeCase &c = GetParam();
    EXPECT_EQ(zim::tevo::TEVOMSP430Insn::sizeFor(c.code, c.first, c.second), c.size);
}

INSTANTIATE_TEST_SUITE_P(
    Layout, InstructionSizes,
    testing::Values(SizeCase{"ExtendedBare", 0x18000000, false, false, 4},
                    SizeCase{"ExtendedFirstOperand", 0x18001234, true, false, 6},
                    SizeCase{"ExtendedBothOperands", 0xFFFFFFFF, true, true, 8},
                    SizeCase{"LongFormIgnoresOperands", 0x20000, true, true, 8},
                    SizeCase{"LongFormUpperBound", 0x17FFFFFF, false, false, 8},
                    SizeCase{"SixByteForm", 0x10000, false, false, 6},
                    SizeCase{"SixByteFormUpperBound", 0x1FFFF, true, false, 6},
                    SizeCase{"JumpUpperBound", 0x3FFF, true, false, 2},
                    SizeCase{"BelowJumps", 0x1FFF, true, false, 4},
                    SizeCase{"AboveJumps", 0x4000, true, true, 6},
                    SizeCase{"PlainBare", 0x4303, false, false, 2},
                    SizeCase{"PlainSecondOperand", 0xF000, false, true, 4}),
    [](const testing::TestParamInfo<SizeCase> &info) { return std::string(info.param.name); });

TEST(Layout, SectionSpansItsSizedAddressedRecords)
{
    zim::tevo::TEVOModule m;
    zim::tevo::TEVOSection *s = m.section(m.pool().make<zim::tevo::TEVOString>(reinterpret_cast<const uint8_t *>("CODE"), 4));
    auto add = [&](zim::tevo::TEVOInsn *r, uint32_t address) {
        r->setAddress(address);
        s->append(r);
    };
    add(m.pool().make<zim::tevo::TEVOOriginInsn>(0x100), 0x100);               // no size
    add(m.pool().make<zim::tevo::TEVOFillInsn>(4, 0xAA), 0xFFFFFFFF);          // no address
    add(m.pool().make<zim::tevo::TEVOFillInsn>(0x10, 0xAA), 0xF010);
    add(m.pool().make<zim::tevo::TEVOFillInsn>(2, 0xAA), 0xF000);
    add(m.pool().make<zim::tevo::TEVOAlignInsn>(0x100), 0xF020);
    s->layout();
    EXPECT_TRUE(s->isLaidOut());
    EXPECT_EQ(s->start(), 0xF000u);
    EXPECT_EQ(s->end(), 0xF100u);
}

// A break starts a new fragment; records find their fragment through the chain that ends in it;
// markers keep theirs, so a marker's section is known while records are still appended after it.
TEST(Layout, BreaksStartFragmentsWhichEveryRecordFindsAndAMarkerItsSection)
{
    zim::tevo::TEVORecordPlan label;
    label.kind = zim::tevo::TEVORecordPlan::Marker;
    label.number = 1;
    label.name = "start";
    label.address = 0x4402;
    zim::tevo::TEVORecordPlan cut;
    cut.kind = zim::tevo::TEVORecordPlan::Break;
    zim::tevo::TEVOExecutablePlan plan;
    plan.sections = {loadable("CODE", {insnAt(0x4400, "ab"), label, insnAt(0x4402, "cd"), cut, insnAt(0x4404, "ef"),
                                       insnAt(0x4406, "gh")})};
    auto module = readStream(zim::tevo::writeTEVOExecutable(plan));
    zim::tevo::TEVOSection *code = module->findSection("CODE");
    ASSERT_EQ(code->fragments().size(), 2u);
    EXPECT_EQ(code->fragments()[1]->count(), 2u);
    for (zim::tevo::TEVOFragment *fragment : code->fragments()) {
        for (zim::tevo::TEVOInsn *record : recordsOf(fragment))
            EXPECT_EQ(record->fragment(), fragment) << record->listing().constData();
    }
    zim::tevo::TEVOMarker *marker = module->markers().value(1);
    ASSERT_NE(marker, nullptr);
    EXPECT_TRUE(marker->isPlaced());
    EXPECT_EQ(marker->section(), code);
    EXPECT_EQ(marker->next(), recordsOf(code->fragments()[0]).back());
    EXPECT_EQ(module->pool().make<zim::tevo::TEVOAlignInsn>(2)->fragment(), nullptr);
}

// What an INIT record loads is checked with the load sections; here its size and listing.
TEST(Layout, InitIsSizedByTheSectionItCopiesAndListsItsName)
{
    zim::tevo::TEVORecordPlan copy;
    copy.kind = zim::tevo::TEVORecordPlan::Init;
    copy.name = "IDATA";
    copy.address = 0xF000;
    zim::tevo::TEVOExecutablePlan plan;
    plan.sections = {loadable("IDATA", {dataAt(0x200, 2, 0x1234), dataAt(0x204, 1, 0x56)}), loadable("CONST", {copy})};
    auto module = readStream(zim::tevo::writeTEVOExecutable(plan));
    zim::tevo::TEVOInsn *init = recordsOf(module->findSection("CONST")->fragments()[0])[0];
    EXPECT_EQ(init->size(), 5u);
    EXPECT_EQ(init->listingText(), "\t.INIT\t\"IDATA\"");
}

TEST(Layout, DataEncodesLittleEndianForMSP430)
{
    zim::tevo::TEVOExecutablePlan plan;
    plan.bookkeeping = false;
    plan.sections = {loadable("DATA", {dataAt(0x200, 4, 0x11223344), dataAt(0x204, 3, 0xAABBCC)})};
    auto module = readStream(zim::tevo::writeTEVOExecutable(plan));
    const auto records = recordsOf(module->findSection("DATA")->fragments()[0]);
    EXPECT_EQ(records[0]->listing(), "0200\t44332211\tDL\t0x11223344");
    EXPECT_EQ(records[1]->bytesText(), "CCBBAA\t");
    EXPECT_EQ(records[1]->listingText(), "\tDC3\t0xaabbcc");
}

} // namespace
} // namespace zim::tevo
