// Byte counts as messages show them.
#include "common/sizetext.h"

#include <gtest/gtest.h>

namespace {

struct SizeCase
{
    uint32_t n;
    const char *size;
    const char *grouped;
};

// Printed by its fields: the raw bytes would include padding.
void PrintTo(const SizeCase &c, std::ostream *os)
{
    *os << c.n;
}

class SizeTexts : public testing::TestWithParam<SizeCase> {};

TEST_P(SizeTexts, Both)
{
    EXPECT_EQ(zim::common::sizeText(GetParam().n).toStdString(), GetParam().size);
    EXPECT_EQ(zim::common::groupedNumber(GetParam().n).toStdString(), GetParam().grouped);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SizeTexts,
    testing::Values(SizeCase{0, "0 bytes", "0"},
                    SizeCase{1000, "1000 bytes", "1,000"}, SizeCase{1023, "1023 bytes", "1,023"},
                    SizeCase{1024, "1 KB", "1,024"}, SizeCase{1536, "1.5 KB", "1,536"},
                    // 1126 is 1.0996 KB: the tenths digit is truncated to 0 and dropped.
                    SizeCase{1126, "1 KB", "1,126"},
                    SizeCase{1048576, "1,024 KB", "1,048,576"}, SizeCase{1001001, "977.5 KB", "1,001,001"},
                    SizeCase{4294967295u, "4,194,303.9 KB", "4,294,967,295"}));

} // namespace
