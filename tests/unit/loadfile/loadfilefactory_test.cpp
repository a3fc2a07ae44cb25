// The factory's file-name rules and reader creation.
#include "loadfile/binaryloadfile.h"
#include "loadfile/loadfilefactory.h"
#include "loadfiletestutil.h"

#include <gtest/gtest.h>

namespace {

struct NameCase
{
    const char *fileName;
    const char *type; // "" for none
};

class TypeForFileName : public testing::TestWithParam<NameCase>
{
};

TEST_P(TypeForFileName, GivesTheTypeOfTheExtension)
{
    EXPECT_EQ(zim::loadfile::TEVOLoadFileFactory().typeForFileName(QString::fromUtf8(GetParam().fileName)),
              QString::fromUtf8(GetParam().type));
}

INSTANTIATE_TEST_SUITE_P(
    Rules, TypeForFileName,
    testing::Values(NameCase{"prog.hzx", "hzx"}, NameCase{"prog.HZX", ""}, NameCase{"prog.hzx.bak", "hzx"},
                    NameCase{"dir.hzx/image.bin", "hzx"}, NameCase{"image.BIN", "bin"}, NameCase{"image.Bin", ""},
                    NameCase{"IMAGE.ROM", "bin"}, NameCase{"a.HEX", "ihex"}, NameCase{"a.lst", "hex"},
                    NameCase{"a.txt", "tihex"}, NameCase{"a.S19", "srec"}, NameCase{"a.srec", "srec"},
                    NameCase{"a.s28", ""}, NameCase{"a.elf", "elf"}, NameCase{"hex", ""}, NameCase{"", ""}));

TEST(LoadFileFactory, CreatesReadersByExactTypeName)
{
    TempFiles files;
    const QString hex = files.write("a.hex", ":0200000401F009\n:02000000ABCD86\n:00000001FF\n");
    auto file = zim::loadfile::TEVOLoadFileFactory().create(hex, "ihex");
    ASSERT_TRUE(file);
    EXPECT_EQ(primaryOf(*file), (std::vector<SectionData>{{0x01F00000, {0xAB, 0xCD}}}));
    EXPECT_FALSE(zim::loadfile::TEVOLoadFileFactory().create(hex, "IHEX"));
    EXPECT_FALSE(zim::loadfile::TEVOLoadFileFactory().create(hex, "intel"));
    auto bin = zim::loadfile::TEVOLoadFileFactory().create(hex, "bin");
    ASSERT_TRUE(bin);
    EXPECT_FALSE(bin->hasAddresses());
}

TEST(LoadFileFactory, MakesExecutablesOnlyOnceTheirReaderIsRegistered)
{
    zim::loadfile::TEVOLoadFileFactory factory;
    EXPECT_FALSE(factory.create("a.hzx", "hzx"));
    QString seen;
    factory.setTEVOCreator([&seen](const QString &fileName) -> std::unique_ptr<zim::loadfile::LoadFileInterface> {
        seen = fileName;
        return zim::loadfile::BinaryLoadFile::fromBytes("x");
    });
    EXPECT_TRUE(factory.create("a.hzx", "hzx"));
    EXPECT_EQ(seen, "a.hzx");
}

} // namespace
