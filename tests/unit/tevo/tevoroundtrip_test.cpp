// Round trips: random layouts through the writer and the reader, and Intel hex through .hzx.
#include "loadfile/intelhexloadfile.h"
#include "loadfile/loadfilefactory.h"
#include "loadfile/loadfilewriter.h"
#include "tevo/tevoexecutablecache.h"
#include "tevo/tevoexpr.h"
#include "tevo/tevomodule.h"
#include "tevo/tevoloadfile.h"
#include "tevo/tevoregistration.h"
#include "tevo/tevosection.h"
#include "unit/tevo/tevotestutil.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <map>

namespace zim::tevo {
namespace {

using Memory = std::map<std::pair<int, uint32_t>, uint8_t>; // (list, address) -> byte

Memory memoryOf(zim::loadfile::LoadFileInterface &file)
{
    Memory memory;
    int list = 0;
    for (const zim::loadfile::LoadFileSectionList *sections : {&file.sections().primarySections, &file.sections().secondarySections}) {
        for (const auto &s : *sections) {
            for (uint32_t i = 0; i < s->size(); ++i)
                memory[{list, s->address() + i}] = s->data()[i];
        }
        ++list;
    }
    return memory;
}

QString writeFile(const QTemporaryDir &dir, const QString &name, const QByteArray &contents)
{
    const QString path = dir.filePath(name);
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly) && f.write(contents) == contents.size());
    return path;
}

class RandomLayouts : public testing::TestWithParam<int>
{
};

// Non-overlapping runs of random records in several sections, some of the second memory
// space and some not loadable, must come back byte for byte at their addresses.
TEST_P(RandomLayouts, ComeBackAsWritten)
{
    QRandomGenerator random{quint32(GetParam())};
    zim::tevo::TEVOExecutablePlan plan;
    plan.bookkeeping = random.bounded(2);
    Memory expected;
    uint32_t next = 0x200;
    const int sections = 1 + random.bounded(5);
    for (int s = 0; s < sections; ++s) {
        const bool loadableSection = random.bounded(4) != 0;
        const uint32_t kind = random.bounded(3) == 0 ? 6 : random.bounded(6);
        zim::tevo::TEVOSectionPlan section = loadable("S" + QByteArray::number(s), {}, kind);
        if (!loadableSection)
            section.flags = kind;
        const int runs = 1 + random.bounded(4);
        for (int r = 0; r < runs; ++r) {
            next += random.bounded(3) * 2 + random.bounded(2) * 0x100;
            const uint32_t length = 1 + random.bounded(40);
            QByteArray bytes(qsizetype(length), '\0');
            for (auto &b : bytes)
                b = char(random.bounded(256));
            section.records += zim::tevo::recordsForBytes(next, reinterpret_cast<const uint8_t *>(bytes.constData()), length);
            if (random.bounded(2)) {
                zim::tevo::TEVORecordPlan cut;
                cut.kind = zim::tevo::TEVORecordPlan::Break;
                section.records.append(cut);
            }
            if (loadableSection) {
                for (uint32_t i = 0; i < length; ++i)
                    expected[{kind == 6 ? 1 : 0, next + i}] = uint8_t(bytes[i]);
            }
            next += length;
        }
        plan.sections.append(section);
    }
    QTemporaryDir dir;
    zim::tevo::TEVOExecutableCache cache;
    zim::tevo::TEVOLoadFile file(writeFile(dir, "random.hzx", zim::tevo::writeTEVOExecutable(plan)), cache);
    EXPECT_EQ(memoryOf(file), expected);
}

INSTANTIATE_TEST_SUITE_P(RoundTrip, RandomLayouts, testing::Range(1, 41));

// A file read through the cache's window (strings, pool and operands cut at window edges)
// gives what the same bytes give from memory.
TEST(RoundTrip, FileLargerThanTheReadWindowReadsAsFromMemory)
{
    QRandomGenerator random{7};
    QByteArray program(200 * 1024, '\0');
    for (auto &b : program)
        b = char(random.bounded(256));
    zim::tevo::TEVOExecutablePlan plan;
    plan.sections = {loadable("CODE", zim::tevo::recordsForBytes(0x10000, reinterpret_cast<const uint8_t *>(program.constData()),
                                                                 uint32_t(program.size())))};
    const QByteArray executable = zim::tevo::writeTEVOExecutable(plan);
    ASSERT_GT(executable.size(), 3 * 64 * 1024);
    QTemporaryDir dir;
    zim::tevo::TEVOExecutableCache cache;
    zim::tevo::TEVOLoadFile fromFile(writeFile(dir, "big.hzx", executable), cache);
    zim::tevo::TEVOLoadFile fromMemory(std::shared_ptr<zim::tevo::TEVOModule>(readStream(executable)));
    EXPECT_EQ(memoryOf(fromFile), memoryOf(fromMemory));
    ASSERT_EQ(fromFile.sections().primarySections.size(), 1u);
    EXPECT_EQ(QByteArray(reinterpret_cast<const char *>(fromFile.sections().primarySections[0]->data()), program.size()), program);
}

// The writer the factory holds for "hzx" (what -upload uses) writes an executable that the
// factory's own reader gives back byte for byte, in both memory spaces.
TEST(RoundTrip, FactoryWriterOfHzxWritesWhatItsReaderReadsBack)
{
    zim::loadfile::TEVOLoadFileFactory factory;
    zim::tevo::registerTEVOLoadFile(factory);
    const QByteArray hex = ":101100003140000A3F4000000F9308249210B200C3\n"
                           ":03111000FF3F009E\n"
                           ":02FFFE000011F0\n"
                           ":00000001FF\n";
    auto original = zim::loadfile::IntelHexLoadFile::fromText(hex);
    zim::tevo::TEVOExecutablePlan plan = zim::tevo::describeLoadFile(*original);
    plan.sections.append(loadable("INFO", zim::tevo::recordsForBytes(0x1000, reinterpret_cast<const uint8_t *>("abc"), 3), 6));
    QTemporaryDir dir;
    zim::tevo::TEVOExecutableCache cache;
    zim::tevo::TEVOLoadFile withSecondary(writeFile(dir, "both.hzx", zim::tevo::writeTEVOExecutable(plan)), cache);

    const zim::loadfile::LoadFileWriter &writer = factory.requireWriter(QStringLiteral("hzx"));
    const QString written = writeFile(dir, "out.hzx", writer.contents(withSecondary, dir.filePath("out.hzx")));
    std::unique_ptr<zim::loadfile::LoadFileInterface> readBack = factory.create(written, factory.typeForFileName(written));
    ASSERT_TRUE(readBack);
    EXPECT_EQ(memoryOf(*readBack), memoryOf(withSecondary));
    EXPECT_EQ(readBack->sections().secondarySections.size(), 1u);

    // Its module scope spans the bytes it holds, from the lowest address to one past the last.
    zim::tevo::TEVOModule *module = readBack->objectModule();
    ASSERT_TRUE(module && module->low() && module->high());
    EXPECT_EQ(module->low()->evaluate().value, 0x1000);
    EXPECT_EQ(module->high()->evaluate().value, 0x10000);
}

} // namespace
} // namespace zim::tevo
