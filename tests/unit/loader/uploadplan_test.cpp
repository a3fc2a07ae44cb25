// The ranges -upload reads back: the union over every load file of a run.
#include "loader/uploadplan.h"
#include "loadfile/loadfileinterface.h"

#include <gtest/gtest.h>
#include <utility>
#include <vector>

namespace {

using Ranges = std::vector<std::pair<uint32_t, uint32_t>>; // address, size

// A load file whose primary sections have the given ranges.
class RangesFile : public LoadFileInterface
{
public:
    explicit RangesFile(const Ranges &ranges)
    {
        for (const auto &[address, size] : ranges)
            m_sections.primarySections.push_back(std::make_unique<UploadLoadFileSection>("", address, size));
        m_sectionsRead = true;
    }
    bool hasStartAddress() const override { return false; }
    void setStartAddress(uint32_t) override {}
    uint32_t startAddress() const override { return 0; }
    bool hasAddresses() const override { return true; }
    void setLoadAddress(uint32_t) override {}
    bool readSections() override { return true; }
};

struct PlanCase
{
    const char *what;
    std::vector<Ranges> files;
    Ranges expected;
};

void PrintTo(const PlanCase &c, std::ostream *os)
{
    *os << c.what;
}

class UploadPlanUnion : public testing::TestWithParam<PlanCase> {};

TEST_P(UploadPlanUnion, MergesOverlappingAndTouchingRangesInAddressOrder)
{
    UploadPlan plan;
    for (const Ranges &ranges : GetParam().files) {
        RangesFile file(ranges);
        plan.add(file);
    }
    Ranges actual;
    const std::unique_ptr<LoadFileInterface> layout = plan.layout();
    for (const auto &section : layout->sections().primarySections)
        actual.emplace_back(section->address(), section->size());
    EXPECT_EQ(actual, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UploadPlanUnion,
    testing::Values(
        PlanCase{"overlap across files", {{{0x1100, 4}}, {{0x1102, 4}}}, {{0x1100, 6}}},
        PlanCase{"touching ranges", {{{0x1110, 2}, {0x1100, 0x10}}}, {{0x1100, 0x12}}},
        PlanCase{"a gap of one byte", {{{0x1100, 4}}, {{0x1105, 1}}}, {{0x1100, 4}, {0x1105, 1}}},
        PlanCase{"one range swallowing several", {{{0x1100, 2}, {0x1104, 2}, {0x1200, 1}}, {{0x10FF, 0x10}}},
                 {{0x10FF, 0x10}, {0x1200, 1}}},
        PlanCase{"empty sections", {{{0x1100, 0}}}, {}},
        PlanCase{"the top of the address space", {{{0xFFFFFFF0, 0x10}}, {{0xFFFFFF00, 0xF0}}}, {{0xFFFFFF00, 0x100}}}),
    [](const testing::TestParamInfo<PlanCase> &info) {
        std::string name = info.param.what;
        for (char &c : name)
            if (!std::isalnum(static_cast<unsigned char>(c)))
                c = '_';
        return name;
    });

} // namespace
