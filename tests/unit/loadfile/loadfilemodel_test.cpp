// The section model: merging, sorting, binary placement and the byte stream.
#include "loadfile/binaryloadfile.h"
#include "loadfile/hbytestream.h"
#include "loadfile/loadfilesection.h"
#include "loadfiletestutil.h"

#include <gtest/gtest.h>

namespace {

// A load file whose sections the test sets up directly.
class FakeLoadFile : public LoadFileInterface
{
public:
    bool hasStartAddress() const override { return false; }
    void setStartAddress(uint32_t) override {}
    uint32_t startAddress() const override { return 0; }
    bool hasAddresses() const override { return true; }
    void setLoadAddress(uint32_t) override {}
    bool readSections() override { return readable; }

    void add(uint32_t address, std::vector<uint8_t> bytes, bool secondary = false)
    {
        auto section = std::make_unique<ExpandingLoadFileSection>("s", address);
        if (!bytes.empty())
            std::copy(bytes.begin(), bytes.end(), section->append(uint32_t(bytes.size())));
        (secondary ? m_sections.secondarySections : m_sections.primarySections).push_back(std::move(section));
    }

    bool readable = true;
};

std::vector<uint8_t> filled(size_t n, uint8_t value)
{
    return std::vector<uint8_t>(n, value);
}

TEST(MakeContiguous, FillsTheGapBetweenSections)
{
    FakeLoadFile file;
    file.add(0x1000, filled(16, 0x11));
    file.add(0x1020, filled(16, 0x22));
    file.makeContiguous(0xA5);
    std::vector<uint8_t> expected = filled(16, 0x11);
    for (uint8_t b : filled(16, 0xA5))
        expected.push_back(b);
    for (uint8_t b : filled(16, 0x22))
        expected.push_back(b);
    EXPECT_EQ(primaryOf(file), (std::vector<SectionData>{{0x1000, expected}}));
    EXPECT_STREQ(file.sections().primarySections[0]->name(), "Contiguous section");
}

TEST(MakeContiguous, LetsTheLaterSectionWinWhereTheyOverlap)
{
    FakeLoadFile file;
    file.add(0x2004, {4, 5, 6, 7});
    file.add(0x2000, {0, 1, 2, 3, 9, 9});
    file.makeContiguous(0xFF);
    EXPECT_EQ(primaryOf(file), (std::vector<SectionData>{{0x2000, {0, 1, 2, 3, 9, 9, 6, 7}}}));
}

TEST(MakeContiguous, LeavesTheSecondaryListAndEmptyFilesAlone)
{
    FakeLoadFile empty;
    empty.add(0x10, {1}, true);
    empty.makeContiguous(0);
    EXPECT_TRUE(empty.sections().primarySections.empty());
    EXPECT_EQ(empty.sections().secondarySections.size(), 1u);

    FakeLoadFile atTop;
    atTop.add(0xFFFFFFFF, {});
    atTop.makeContiguous(0);
    EXPECT_EQ(atTop.sections().primarySections.size(), 1u);
}

TEST(MakeContiguous, RefusesARangePastTheTopOfTheAddressSpace)
{
    FakeLoadFile file;
    file.add(0, {1});
    file.add(0xFFFFFFF0, filled(0x20, 2));
    EXPECT_NE(messageOf([&] { file.makeContiguous(0); }), "<no exception>");
}

TEST(SortSections, OrdersBothListsByAddress)
{
    FakeLoadFile file;
    file.add(0x300, {3});
    file.add(0x100, {1});
    file.add(0x200, {2}, true);
    file.add(0x000, {0}, true);
    file.sortSections();
    EXPECT_EQ(primaryOf(file), (std::vector<SectionData>{{0x100, {1}}, {0x300, {3}}}));
    EXPECT_EQ(file.sections().secondarySections[0]->address(), 0u);
    EXPECT_EQ(file.primarySize(), 2u);
    EXPECT_EQ(file.secondarySize(), 2u);
}

TEST(LoadFileInterface, ReportsSectionsThatCannotBeRead)
{
    FakeLoadFile file;
    file.readable = false;
    EXPECT_EQ(messageOf([&] { file.sections(); }), "cannot read sections from load file");
}

TEST(BinaryLoadFile, PlacesTheFileAtTheLoadAddress)
{
    auto file = BinaryLoadFile::fromBytes(QByteArray("\x01\x02\x03", 3));
    EXPECT_EQ(primaryOf(*file), (std::vector<SectionData>{{0, {1, 2, 3}}}));
    EXPECT_STREQ(file->sections().primarySections[0]->name(), "data");

    const LoadFileSectionInterface *before = file->sections().primarySections[0].get();
    file->setLoadAddress(0);
    EXPECT_EQ(file->sections().primarySections[0].get(), before) << "same address keeps the sections";

    file->setLoadAddress(0xF000);
    EXPECT_EQ(primaryOf(*file), (std::vector<SectionData>{{0xF000, {1, 2, 3}}}));
    file->setLoadAddress(0x1100);
    file->setLoadAddress(0x1100);
    EXPECT_EQ(primaryOf(*file), (std::vector<SectionData>{{0x1100, {1, 2, 3}}}));
}

TEST(BinaryLoadFile, ReadsTheFileAndReportsAMissingOne)
{
    TempFiles files;
    const QString name = files.write("a.bin", QByteArray("\0\xff\x10", 3));
    BinaryLoadFile file(name);
    file.setLoadAddress(0x200);
    file.makeContiguous(0);
    EXPECT_EQ(primaryOf(file), (std::vector<SectionData>{{0x200, {0, 0xFF, 0x10}}}));
    EXPECT_EQ(messageOf([&] { BinaryLoadFile missing(files.path("none.bin")); }),
              "cannot open " + files.path("none.bin"));
}

TEST(HByteStream, ReadsAWholeFile)
{
    TempFiles files;
    QByteArray contents;
    for (int i = 0; i < 3000; ++i)
        contents.append(char(i * 7));
    HFileInputByteStream stream(files.write("x.hzx", contents));
    EXPECT_EQ(stream.size(), 3000u);
    uint8_t head[2];
    ASSERT_TRUE(stream.read(head, 2));
    EXPECT_EQ(head[1], 7);
    EXPECT_TRUE(stream.skip(2997));
    EXPECT_FALSE(stream.read(head, 2));
    EXPECT_EQ(stream.readByte(), uint8_t(2999 * 7));
    EXPECT_TRUE(stream.atEnd());
    EXPECT_EQ(messageOf([&] { HFileInputByteStream missing(files.path("no.hzx")); }),
              "can't open file " + files.path("no.hzx"));
}

TEST(HByteStream, GrowsPastItsFirstBuffer)
{
    HByteStream stream;
    std::vector<uint8_t> block(700, 0x5A);
    stream.write(block.data(), block.size());
    stream.write(block.data(), block.size());
    EXPECT_EQ(stream.size(), 1400u);
    EXPECT_TRUE(stream.skip(1399));
    EXPECT_EQ(stream.readByte(), 0x5A);
}

} // namespace
