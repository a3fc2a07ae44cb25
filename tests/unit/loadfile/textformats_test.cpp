// The text readers on small inline files: records, sections, start addresses and every
// failure with its line number.
#include "loadfile/hexloadfile.h"
#include "loadfile/intelhexloadfile.h"
#include "loadfile/srecordloadfile.h"
#include "loadfile/tihexloadfile.h"
#include "loadfiletestutil.h"

#include <gtest/gtest.h>

namespace {

enum class Format { IntelHex, Listing, TIText, SRecord };

std::unique_ptr<zim::loadfile::LoadFileInterface> parse(Format format, const QByteArray &text)
{
    switch (format) {
    case Format::IntelHex:
        return zim::loadfile::IntelHexLoadFile::fromText(text);
    case Format::Listing:
        return zim::loadfile::HexLoadFile::fromText(text);
    case Format::TIText:
        return zim::loadfile::TIHexLoadFile::fromText(text);
    case Format::SRecord:
        return zim::loadfile::SRecordLoadFile::fromText(text);
    }
    return nullptr;
}

struct ReadCase
{
    const char *what;
    Format format;
    const char *text;
    std::vector<SectionData> sections;
};

class ReadsSections : public testing::TestWithParam<ReadCase>
{
};

TEST_P(ReadsSections, AsExpected)
{
    auto file = parse(GetParam().format, GetParam().text);
    EXPECT_EQ(primaryOf(*file), GetParam().sections);
    for (const auto &section : file->sections().primarySections)
        EXPECT_STREQ(section->name(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Formats, ReadsSections,
    testing::Values(
        ReadCase{"ihex text after the end record is never read", Format::IntelHex,
                 ":02F00000AABBA9\n:00000001FF\nthis is not a record\n", {{0xF000, {0xAA, 0xBB}}}},
        ReadCase{"ihex contiguous records make one section", Format::IntelHex,
                 ":02F00000AABBA9\n:01F00200CC41\n:00000001FF\n", {{0xF000, {0xAA, 0xBB, 0xCC}}}},
        ReadCase{"ihex a one-byte gap makes two sections", Format::IntelHex,
                 ":02F00000AABBA9\n:01F00300CC40\n:00000001FF\n", {{0xF000, {0xAA, 0xBB}}, {0xF003, {0xCC}}}},
        ReadCase{"ihex continuing an older section after a jump starts a new one", Format::IntelHex,
                 ":01F0000011FE\n:0110000022CD\n:01F0010033DB\n:00000001FF\n",
                 {{0xF000, {0x11}}, {0x1000, {0x22}}, {0xF001, {0x33}}}},
        ReadCase{"ihex 04 then 02: both bases apply", Format::IntelHex,
                 ":020000040001F9\n:020000021000EC\n:01001000559A\n:00000001FF\n", {{0x20010, {0x55}}}},
        ReadCase{"ihex lower-case digits and CRLF line ends", Format::IntelHex,
                 ":02f00000aabba9\r\n:00000001ff\r\n", {{0xF000, {0xAA, 0xBB}}}},
        ReadCase{"listing bytes and an address-only line", Format::Listing,
                 "0000F000 31 40 00 0A\n0000F004\n00001000 ab\n",
                 {{0xF000, {0x31, 0x40, 0x00, 0x0A}}, {0x1000, {0xAB}}}},
        ReadCase{"listing last line without line end, trailing blank", Format::Listing,
                 "00010000 01 02 \n00010002 03", {{0x10000, {1, 2, 3}}}},
        ReadCase{"titext sections, trailing blanks, lower case", Format::TIText,
                 "@F000\n31 40 00 0a \n@FFFE\n00 F0\nq\n", {{0xF000, {0x31, 0x40, 0, 0x0A}}, {0xFFFE, {0, 0xF0}}}},
        ReadCase{"titext data up to the top of the address space", Format::TIText, "@FFFFFFFE\n01 02\n\nq\n",
                 {{0xFFFFFFFE, {1, 2}}}},
        ReadCase{"titext data continues at the current address", Format::TIText,
                 "@1000\n01 02\n03\n@1003\n04\nq\n", {{0x1000, {1, 2, 3, 4}}}},
        ReadCase{"srec S0 S1 S5 S9", Format::SRecord,
                 "S00600004844521B\nS105F000AABBA5\nS5030001FB\nS903F0000C\n", {{0xF000, {0xAA, 0xBB}}}},
        ReadCase{"srec S2 and S3 addresses, no end record", Format::SRecord,
                 "S2050100001DDC\nS30700020000AABB91\n", {{0x10000, {0x1D}}, {0x20000, {0xAA, 0xBB}}}},
        ReadCase{"srec lower-case digits, S4 and non-digit types carry nothing", Format::SRecord,
                 "S105f000aabba5\nS403FC\nSX03FC\n",
                 {{0xF000, {0xAA, 0xBB}}}},
        ReadCase{"ihex characters between the checksum and the line end are ignored", Format::IntelHex,
                 ":02F00000AABBA9 ; 00\r\n:01F00200CC41xyz\r:00000001FF\n", {{0xF000, {0xAA, 0xBB, 0xCC}}}},
        ReadCase{"srec characters between the checksum and the line end are ignored", Format::SRecord,
                 "S105F000AABBA5 S1\nS104F002CC3D\t\r\n", {{0xF000, {0xAA, 0xBB, 0xCC}}}},
        ReadCase{"ihex CR-only line ends", Format::IntelHex, ":02F00000AABBA9\r:00000001FF\r",
                 {{0xF000, {0xAA, 0xBB}}}},
        ReadCase{"titext CR-only line ends", Format::TIText, "@F000\r31 40\rq\r", {{0xF000, {0x31, 0x40}}}},
        ReadCase{"listing CR-only line ends", Format::Listing, "0000F000 31 40\r0000F002 41\r",
                 {{0xF000, {0x31, 0x40, 0x41}}}},
        ReadCase{"listing a run of address-only lines keeps no empty section behind", Format::Listing,
                 "0000F000 31\n00002000\n00003000\n00001000 ab\n", {{0xF000, {0x31}}, {0x1000, {0xAB}}}},
        ReadCase{"ihex data at 0 after data ending at the top of the address space starts a new section",
                 Format::IntelHex,
                 ":02000004FFFFFC\n:08FFF8000001020304050607E5\n:020000040000FA\n:0100000055AA\n:00000001FF\n",
                 {{0xFFFFFFF8, {0, 1, 2, 3, 4, 5, 6, 7}}, {0, {0x55}}}}),
    [](const testing::TestParamInfo<ReadCase> &info) { return testName(info.param.what); });

struct FailCase
{
    const char *what;
    Format format;
    const char *text;
    const char *message;
};

class RejectsMalformedText : public testing::TestWithParam<FailCase>
{
};

TEST_P(RejectsMalformedText, NamingTheLine)
{
    EXPECT_EQ(messageOf([] { parse(GetParam().format, GetParam().text); }), GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, RejectsMalformedText,
    testing::Values(
        FailCase{"ihex missing end record counts one past the last line", Format::IntelHex,
                 ":02F00000AABBA9\n:02F00200AABBA7\n", "invalid end of file in hex file : line 3"},
        FailCase{"ihex empty file", Format::IntelHex, "", "invalid end of file in hex file : line 1"},
        FailCase{"ihex blank line", Format::IntelHex, ":02F00000AABBA9\n\n:00000001FF\n",
                 "missing record mark in hex file : line 2"},
        FailCase{"ihex bad checksum", Format::IntelHex, ":02F00000AABBA8\n:00000001FF\n", "invalid checksum : line 1"},
        FailCase{"ihex record shorter than its count", Format::IntelHex, ":04F00000AABBA9\n",
                 "invalid ASCII encoded byte : line 1"},
        FailCase{"ihex 05 record decodes four bytes whatever its count", Format::IntelHex, ":0000000512345678\n",
                 "invalid ASCII encoded byte : line 1"},
        FailCase{"ihex line end inside a data record", Format::IntelHex, ":02F00000AA\nBBA9\n:00000001FF\n",
                 "invalid ASCII encoded byte : line 1"},
        FailCase{"ihex record cut by the end of the text", Format::IntelHex, ":10F00000AABB",
                 "invalid ASCII encoded byte : line 1"},
        FailCase{"srec line end in place of the type", Format::SRecord, "S\n05F000AABBA5\n",
                 "invalid ASCII encoded byte : line 1"},
        FailCase{"srec carriage return in place of the type", Format::SRecord, "S\r105F000AABBA5\n",
                 "invalid ASCII encoded byte : line 1"},
        FailCase{"listing short line", Format::Listing, "0000F000 31\n0000F0\n", "invalid address : line 2"},
        FailCase{"listing tab separators", Format::Listing, "0000F000 31\t40\n", "invalid seperator : line 1"},
        FailCase{"titext without q", Format::TIText, "@F000\n31 40\n", "unexpected end of file : line 3"},
        FailCase{"titext odd address digits", Format::TIText, "@10000\n31\nq\n", "invalid ASCII encoded byte : line 1"},
        FailCase{"srec blank line", Format::SRecord, "S105F000AABBA5\n\n", "no leading 'S' character : line 2"},
        FailCase{"srec S5 count mismatch", Format::SRecord, "S105F000AABBA5\nS5030002FA\n",
                 "incorrect data record count : line 2"},
        FailCase{"srec bad checksum", Format::SRecord, "S105F000AABBA4\n", "invalid checksum : line 1"},
        FailCase{"srec count too small for the address", Format::SRecord, "S102F0000D\n",
                 "byte count 2 too small for an S1 record : line 1"},
        FailCase{"ihex record running past the top of the address space", Format::IntelHex,
                 ":02000004FFFFFC\n:10FFF800000102030405060708090A0B0C0D0E0F81\n",
                 "data runs past the end of the 32-bit address space : line 2"},
        FailCase{"titext address beyond 32 bits", Format::TIText, "@0100000000\n31\nq\n",
                 "address beyond the 32-bit address space : line 1"},
        FailCase{"titext data continuing past the top of the address space", Format::TIText,
                 "@FFFFFFFE\n01 02\n03\nq\n", "data runs past the end of the 32-bit address space : line 3"},
        FailCase{"srec record running past the top of the address space", Format::SRecord,
                 "S309FFFFFFFE01020304F1\n", "data runs past the end of the 32-bit address space : line 1"}),
    [](const testing::TestParamInfo<FailCase> &info) { return testName(info.param.what); });

TEST(IntelHexLoadFile, TakesTheStartAddressFromThe03And05Records)
{
    auto plain = zim::loadfile::IntelHexLoadFile::fromText(":00000001FF\n");
    EXPECT_FALSE(plain->hasStartAddress());
    EXPECT_EQ(plain->startAddress(), 0u);
    auto segment = zim::loadfile::IntelHexLoadFile::fromText(":0400000312345678E5\n:00000001FF\n");
    EXPECT_TRUE(segment->hasStartAddress());
    EXPECT_EQ(segment->startAddress(), 0x12345678u);
    auto linear = zim::loadfile::IntelHexLoadFile::fromText(":0400000312345678E5\n:040000050000F00007\n:00000001FF\n");
    EXPECT_EQ(linear->startAddress(), 0xF000u);
}

TEST(SRecordLoadFile, KeepsTheStartAddressButDoesNotClaimOne)
{
    auto file = zim::loadfile::SRecordLoadFile::fromText("S105F000AABBA5\nS80401234592\n");
    EXPECT_FALSE(file->hasStartAddress());
    EXPECT_EQ(file->startAddress(), 0x12345u);
}

TEST(TextLoadFile, ReadsAnOverlongLineAsSeveral)
{
    // The record and its padding fill the 529-character line buffer; the rest is a line of
    // its own, which has no record mark.
    const QByteArray first = ":02F00000AABBA9" + QByteArray(529 - 15, ' ');
    EXPECT_EQ(messageOf([&] { zim::loadfile::IntelHexLoadFile::fromText(first + "tail\n:00000001FF\n"); }),
              "missing record mark in hex file : line 2");
    const QByteArray fitting = ":02F00000AABBA9" + QByteArray(528 - 15, ' ') + "\n";
    EXPECT_EQ(primaryOf(*zim::loadfile::IntelHexLoadFile::fromText(fitting + ":00000001FF\n")).size(), 1u);
    EXPECT_EQ(messageOf([&] { zim::loadfile::IntelHexLoadFile::fromText(first + "\n:00000001FF\n"); }),
              "missing record mark in hex file : line 2")
        << "a line feed just past the buffer makes an empty line of its own";
}

} // namespace
