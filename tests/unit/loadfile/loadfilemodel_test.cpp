// The section model: merging, binary placement and the byte stream.
#include "loadfile/binaryloadfile.h"
#include "loadfile/hbytestream.h"
#include "loadfiletestutil.h"

#include <gtest/gtest.h>

namespace {

TEST(MakeContiguous, FillsTheGapBetweenSections)
{
    LayoutLoadFile file({{0x1000, {1, 2}}, {0x1005, {3}}});
    file.makeContiguous(0xA5);
    EXPECT_EQ(primaryOf(file), (std::vector<SectionData>{{0x1000, {1, 2, 0xA5, 0xA5, 0xA5, 3}}}));
    EXPECT_STREQ(file.sections().primarySections[0]->name(), "Contiguous section");
}

TEST(MakeContiguous, LetsTheLaterSectionWinWhereTheyOverlap)
{
    LayoutLoadFile file({{0x2004, {4, 5, 6, 7}}, {0x2000, {0, 1, 2, 3, 9, 9}}});
    file.makeContiguous(0xFF);
    EXPECT_EQ(primaryOf(file), (std::vector<SectionData>{{0x2000, {0, 1, 2, 3, 9, 9, 6, 7}}}));
}

TEST(MakeContiguous, RefusesARangePastTheTopOfTheAddressSpace)
{
    LayoutLoadFile file({{0, {1}}, {0xFFFFFFF0, std::vector<uint8_t>(0x20, 2)}});
    EXPECT_NE(messageOf([&] { file.makeContiguous(0); }), "<no exception>");
}

TEST(BinaryLoadFile, PlacesTheFileAtTheLoadAddressAndMovesItOnAChange)
{
    TempFiles files;
    zim::loadfile::BinaryLoadFile file(files.write("a.bin", QByteArray("\x01\x02\x03", 3)));
    file.setLoadAddress(0);
    const zim::loadfile::LoadFileSectionInterface *before = file.sections().primarySections[0].get();
    file.setLoadAddress(0);
    EXPECT_EQ(file.sections().primarySections[0].get(), before) << "same address keeps the sections";

    file.setLoadAddress(0xF000);
    EXPECT_EQ(primaryOf(file), (std::vector<SectionData>{{0xF000, {1, 2, 3}}}));
    file.setLoadAddress(0x1100);
    file.setLoadAddress(0x1100);
    EXPECT_EQ(primaryOf(file), (std::vector<SectionData>{{0x1100, {1, 2, 3}}}));
}

TEST(HByteStream, ReadsAWholeFileAndGrowsPastItsFirstBuffer)
{
    TempFiles files;
    QByteArray contents;
    for (int i = 0; i < 3000; ++i)
        contents.append(char(i * 7));
    zim::loadfile::HFileInputByteStream stream(files.write("x.hzx", contents));
    EXPECT_EQ(stream.size(), 3000u);
    uint8_t head[2];
    ASSERT_TRUE(stream.read(head, 2));
    EXPECT_EQ(head[1], 7);
    EXPECT_TRUE(stream.skip(2997));
    EXPECT_FALSE(stream.read(head, 2));
    EXPECT_EQ(stream.readByte(), uint8_t(2999 * 7));
    EXPECT_TRUE(stream.atEnd());

    zim::loadfile::HByteStream grown;
    std::vector<uint8_t> block(700, 0x5A);
    grown.write(block.data(), block.size());
    grown.write(block.data(), block.size());
    EXPECT_EQ(grown.size(), 1400u);
    EXPECT_TRUE(grown.skip(1399));
    EXPECT_EQ(grown.readByte(), 0x5A);
}

} // namespace
