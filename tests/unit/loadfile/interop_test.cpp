// The readers and writers: files srec_cat writes from random data at scattered addresses, round
// trips through our writers, and the real firmware images in several formats.
#include "loadfile/binaryloadfile.h"
#include "loadfile/loadfilefactory.h"
#include "loadfile/loadfilewriter.h"
#include "loadfiletestutil.h"

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <gtest/gtest.h>
#include <random>

namespace {

// Sorted, non-touching sections of random bytes spread over the first 4 MB, including one
// that crosses a 64 KB boundary.
std::vector<SectionData> randomLayout(unsigned seed)
{
    std::mt19937 random(seed);
    std::vector<SectionData> layout;
    uint32_t address = 0x100 + random() % 0x100;
    for (int i = 0; i < 14; ++i) {
        SectionData section{address, std::vector<uint8_t>(1 + random() % 300)};
        for (uint8_t &b : section.bytes)
            b = uint8_t(random());
        address += uint32_t(section.bytes.size()) + 1 + random() % (i % 3 ? 0x40 : 0x60000);
        layout.push_back(std::move(section));
    }
    layout.push_back({0x3FFF0, std::vector<uint8_t>(0x30, 0x5A)});
    std::sort(layout.begin(), layout.end(), [](const auto &a, const auto &b) { return a.address < b.address; });
    return layout;
}

QString srecCat()
{
    return QStandardPaths::findExecutable(QStringLiteral("srec_cat"));
}

// Runs a tool from the srecord package; returns its error output on failure.
QString run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(60000))
        return QStringLiteral("did not finish");
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return QString::fromLocal8Bit(process.readAllStandardError());
    return QString();
}

// Writes the layout as binary pieces and returns srec_cat's input arguments for them.
QStringList piecesFor(TempFiles &files, const std::vector<SectionData> &layout)
{
    QStringList arguments;
    for (size_t i = 0; i < layout.size(); ++i) {
        const QByteArray bytes(reinterpret_cast<const char *>(layout[i].bytes.data()), qsizetype(layout[i].bytes.size()));
        arguments << files.write(QStringLiteral("piece%1.bin").arg(i), bytes) << "-binary" << "-offset"
                  << QStringLiteral("0x%1").arg(layout[i].address, 0, 16);
    }
    return arguments;
}

struct Format
{
    const char *typeName;   // ours
    const char *srecOption; // srec_cat's, or null when it has no such format
    const char *extension;
};

const Format formats[] = {
    {"ihex", "-intel", "hex"}, {"srec", "-motorola", "s19"}, {"tihex", "-ti-txt", "txt"}, {"hex", nullptr, "lst"}};

class EachFormat : public testing::TestWithParam<Format>
{
};

TEST_P(EachFormat, ReadsWhatSrecCatWrote)
{
    if (!GetParam().srecOption)
        GTEST_SKIP() << "srec_cat does not write this format";
    if (srecCat().isEmpty())
        GTEST_SKIP() << "srec_cat not installed";
    for (unsigned seed : {1u, 2u, 3u}) {
        TempFiles files;
        const std::vector<SectionData> layout = randomLayout(seed);
        const QString output = files.path(QStringLiteral("out.") + GetParam().extension);
        ASSERT_EQ(run(srecCat(), piecesFor(files, layout) << "-o" << output << GetParam().srecOption), "");
        auto file = zim::loadfile::TEVOLoadFileFactory().create(output, GetParam().typeName);
        ASSERT_TRUE(file);
        EXPECT_EQ(primaryOf(*file), layout) << "seed " << seed;
    }
}

TEST_P(EachFormat, ReadsBackWhatItsWriterWrote)
{
    TempFiles files;
    const std::vector<SectionData> layout = randomLayout(7);
    LayoutLoadFile original(layout, true, 0x12345);
    const QString output = files.path(QStringLiteral("out.") + GetParam().extension);
    zim::loadfile::writeLoadFile(output, GetParam().typeName, original);
    auto file = zim::loadfile::TEVOLoadFileFactory().create(output, GetParam().typeName);
    ASSERT_TRUE(file);
    EXPECT_EQ(primaryOf(*file), layout);
    if (QByteArray(GetParam().typeName) == "ihex") {
        EXPECT_TRUE(file->hasStartAddress());
        EXPECT_EQ(file->startAddress(), 0x12345u);
    }
    if (QByteArray(GetParam().typeName) == "srec") {
        EXPECT_EQ(file->startAddress(), 0x12345u);
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, EachFormat, testing::ValuesIn(formats),
                         [](const testing::TestParamInfo<Format> &info) { return info.param.typeName; });

TEST(WriteLoadFile, WritesOneBinaryImageWithGapsFilled)
{
    TempFiles files;
    LayoutLoadFile original(std::vector<SectionData>{{0x1002, {1, 2}}, {0x1000, {9}}, {0x1005, {5}}});
    const QString output = files.path("out.bin");
    zim::loadfile::writeLoadFile(output, "bin", original);
    zim::loadfile::BinaryLoadFile image(output);
    image.setLoadAddress(0x1000);
    EXPECT_EQ(primaryOf(image), (std::vector<SectionData>{{0x1000, {9, 0xFF, 1, 2, 0xFF, 5}}}));
}

TEST(WriteLoadFile, SplitsIntelRecordsAt64KBoundariesAndAddsTheStartRecord)
{
    TempFiles files;
    LayoutLoadFile original(std::vector<SectionData>{{0xFFF8, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}}}, true, 0xF000);
    const QString output = files.path("out.hex");
    zim::loadfile::writeLoadFile(output, "ihex", original);
    QFile file(output);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray(":08FFF8000102030405060708DD\n"
                                         ":020000040001F9\n"
                                         ":02000000090AEB\n"
                                         ":040000050000F00007\n"
                                         ":00000001FF\n"));
}

class FirmwareTwins : public testing::TestWithParam<const char *>
{
};

TEST_P(FirmwareTwins, LoadTheSameMemoryAsTheIntelHexImage)
{
    const QString base = QStringLiteral(ZIM_SHARED_DIR "/firmware/mspsim-cputest-f1611");
    const QString twin = base + "." + GetParam();
    if (!QFileInfo::exists(base + ".hex") || !QFileInfo::exists(twin))
        GTEST_SKIP() << "firmware images not present";
    auto hex = zim::loadfile::TEVOLoadFileFactory().create(base + ".hex", "ihex");
    auto other = zim::loadfile::TEVOLoadFileFactory().create(twin, zim::loadfile::TEVOLoadFileFactory().typeForFileName(twin));
    ASSERT_TRUE(other);
    EXPECT_EQ(memoryOf(*other), memoryOf(*hex));
    EXPECT_EQ(memoryOf(*hex).size(), 7817u);
}

INSTANTIATE_TEST_SUITE_P(Images, FirmwareTwins, testing::Values("txt", "s19", "elf"));

} // namespace
