// Cutting loadable sections into load sections, the start address and the executable cache.
#include "common/hexception.h"
#include "tevo/tevoexecutablecache.h"
#include "tevo/tevoloadfile.h"
#include "tevo/tevomodule.h"
#include "tevo/tevosection.h"
#include "unit/tevo/tevotestutil.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace zim::tevo {
namespace {

struct Cut
{
    std::string name;
    uint32_t address;
    uint32_t size;
    bool operator==(const Cut &) const = default;
};

void PrintTo(const Cut &c, std::ostream *os) { *os << c.name << "@" << std::hex << c.address << "+" << c.size; }

std::vector<Cut> cuts(const zim::loadfile::LoadFileSectionList &list)
{
    std::vector<Cut> result;
    for (const auto &s : list)
        result.push_back({s->name(), s->address(), s->size()});
    return result;
}

class LoadFileTest : public testing::Test
{
protected:
    QString write(const QByteArray &contents, const QString &name = QStringLiteral("app.hzx"))
    {
        const QString path = m_dir.filePath(name);
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(contents) != contents.size())
            ADD_FAILURE() << "cannot write " << path.toStdString();
        return path;
    }
    // Each executable gets a file of its own: the cache would take a rewrite of the same size
    // within one modification-time tick for the file it already read.
    std::unique_ptr<zim::tevo::TEVOLoadFile> open(const zim::tevo::TEVOExecutablePlan &plan)
    {
        const QString name = QStringLiteral("app%1.hzx").arg(++m_files);
        return std::make_unique<zim::tevo::TEVOLoadFile>(write(zim::tevo::writeTEVOExecutable(plan), name), m_cache);
    }
    static QList<zim::tevo::TEVORecordPlan> run(uint32_t address, uint32_t size)
    {
        QByteArray bytes(qsizetype(size), '\0');
        for (uint32_t i = 0; i < size; ++i)
            bytes[i] = char(address + i);
        return zim::tevo::recordsForBytes(address, reinterpret_cast<const uint8_t *>(bytes.constData()), size);
    }

    QTemporaryDir m_dir;
    zim::tevo::TEVOExecutableCache m_cache;
    int m_files = 0;
};

// How loadable sections are cut into load sections, and which start address they give.
TEST_F(LoadFileTest, SectionsAreCutAtGapsAndOverlapsIntoTheirMemorySpaces)
{
    zim::tevo::TEVORecordPlan marker;
    marker.kind = zim::tevo::TEVORecordPlan::Marker;
    marker.number = 3;
    marker.address = 0x9000;
    zim::tevo::TEVORecordPlan locus;
    locus.kind = zim::tevo::TEVORecordPlan::Locus;
    locus.name = "a.c";
    locus.number = 3;
    locus.address = 0x1234;
    zim::tevo::TEVORecordPlan origin;
    origin.kind = zim::tevo::TEVORecordPlan::Origin;
    origin.value = 0x8000;
    origin.address = 0x8000;
    zim::tevo::TEVORecordPlan linkIf;
    linkIf.kind = zim::tevo::TEVORecordPlan::LinkIf;
    linkIf.value = 1;
    zim::tevo::TEVORecordPlan endLinkIf;
    endLinkIf.kind = zim::tevo::TEVORecordPlan::EndLinkIf;
    zim::tevo::TEVOSectionPlan debug = loadable("DEBUG", run(0x0, 16));
    debug.flags = 0x7;
    struct Case
    {
        const char *what;
        QList<zim::tevo::TEVOSectionPlan> sections;
        std::vector<Cut> primary, secondary;
        uint32_t start;
    };
    const Case cases[] = {
        {"a gap splits a section into two of the same name", {loadable("CODE", run(0xF000, 0x100) + run(0xF200, 0x10))},
         {{"CODE", 0xF000, 256}, {"CODE", 0xF200, 16}}, {}, 0xF000},
        {"an overlap starts a new section", {loadable("CODE", run(0x4400, 8) + run(0x4404, 4))},
         {{"CODE", 0x4400, 8}, {"CODE", 0x4404, 4}}, {}, 0x4400},
        {"records without size neither split nor count",
         {loadable("CODE", run(0x4400, 4) + QList<zim::tevo::TEVORecordPlan>{marker, locus, origin, linkIf, endLinkIf}
                               + run(0x4404, 4))},
         {{"CODE", 0x4400, 8}}, {}, 0x4400},
        // The second memory space does not count for the start address.
        {"kind six goes to the secondary list", {loadable("CODE", run(0x4400, 4)), loadable("XDATA", run(0x100, 2), 6)},
         {{"CODE", 0x4400, 4}}, {{"XDATA", 0x100, 2}}, 0x4400},
        {"a section without the loadable flag contributes nothing", {debug, loadable("CODE", run(0x4400, 2))},
         {{"CODE", 0x4400, 2}}, {}, 0x4400},
        {"no primary section has no start address", {loadable("XDATA", run(0x100, 2), 6)}, {}, {{"XDATA", 0x100, 2}},
         0xFFFFFFFF},
        {"an empty section starts at zero", {loadable("BSS", {}), loadable("CODE", run(0x4400, 2))},
         {{"CODE", 0x4400, 2}}, {}, 0},
    };
    for (const Case &c : cases) {
        zim::tevo::TEVOExecutablePlan plan;
        plan.sections = c.sections;
        auto file = open(plan);
        EXPECT_EQ(cuts(file->sections().primarySections), c.primary) << c.what;
        EXPECT_EQ(cuts(file->sections().secondarySections), c.secondary) << c.what;
        EXPECT_EQ(file->startAddress(), c.start) << c.what;
    }
    // The bytes of a split section stay with their addresses.
    zim::tevo::TEVOExecutablePlan plan;
    plan.sections = {loadable("CODE", run(0xF000, 0x100) + run(0xF200, 0x10))};
    auto file = open(plan);
    const auto &first = file->sections().primarySections[0];
    EXPECT_EQ(first->data()[0], 0x00);
    EXPECT_EQ(first->data()[255], 0xFF);
    EXPECT_EQ(file->sections().primarySections[1]->data()[1], 0x01);
}

TEST_F(LoadFileTest, FillSpaceAlignAndDataBytes)
{
    zim::tevo::TEVORecordPlan fill;
    fill.kind = zim::tevo::TEVORecordPlan::Fill;
    fill.address = 0x200;
    fill.count = 3;
    fill.value = 0x1AB;
    zim::tevo::TEVORecordPlan align;
    align.kind = zim::tevo::TEVORecordPlan::Align;
    align.address = 0x203;
    align.count = 4;
    zim::tevo::TEVORecordPlan space;
    space.kind = zim::tevo::TEVORecordPlan::Space;
    space.address = 0x204;
    space.count = 2;
    zim::tevo::TEVORecordPlan address;
    address.kind = zim::tevo::TEVORecordPlan::Address;
    address.address = 0x206;
    address.value = 0x4400;
    zim::tevo::TEVOExecutablePlan plan;
    plan.sections = {loadable("DATA", {fill, align, space, address, dataAt(0x208, 1, 0x7F)})};
    auto file = open(plan);
    const auto &list = file->sections().primarySections;
    ASSERT_EQ(cuts(list), (std::vector<Cut>{{"DATA", 0x200, 9}}));
    EXPECT_EQ(QByteArray(reinterpret_cast<const char *>(list[0]->data()), 9),
              QByteArray("\xAB\xAB\xAB\0\0\0\x00\x44\x7F", 9));
}

// A section with an INIT record is laid out by its own walk; the copy loads the bytes of the
// section it names, up to that section's last byte, whether that section comes after it or
// comes first and is cut before the copy is met.
TEST_F(LoadFileTest, InitLoadsTheSectionItCopies)
{
    zim::tevo::TEVORecordPlan copy;
    copy.kind = zim::tevo::TEVORecordPlan::Init;
    copy.name = "IDATA";
    copy.address = 0xF000;
    const zim::tevo::TEVOSectionPlan constant = loadable("CONST", {copy, dataAt(0xF005, 1, 0x77)});
    const zim::tevo::TEVOSectionPlan idata = loadable("IDATA", {dataAt(0x200, 2, 0x1234), dataAt(0x204, 1, 0x56)});
    for (const bool copiedFirst : {false, true}) {
        zim::tevo::TEVOExecutablePlan plan;
        plan.sections = copiedFirst ? QList{idata, constant} : QList{constant, idata};
        auto file = open(plan);
        std::vector<Cut> expected{{"IDATA", 0x200, 2}, {"IDATA", 0x204, 1}};
        expected.insert(copiedFirst ? expected.end() : expected.begin(), Cut{"CONST", 0xF000, 6});
        const auto &list = file->sections().primarySections;
        ASSERT_EQ(cuts(list), expected) << copiedFirst;
        const auto &copied = list[copiedFirst ? 2 : 0];
        EXPECT_EQ(QByteArray(reinterpret_cast<const char *>(copied->data()), 6), QByteArray("\x34\x12\0\0\x56\x77", 6));
        EXPECT_EQ(file->startAddress(), 0x200u);
        const zim::tevo::TEVOSection *laidOut = file->objectModule()->findSection("IDATA");
        EXPECT_EQ(laidOut->start(), 0x200u);
        EXPECT_EQ(laidOut->end(), 0x205u);
    }
}

// An INIT record that copies its own section is empty, as it is when the section is laid out
// before loading.
TEST_F(LoadFileTest, InitOfItsOwnSectionLoadsNothing)
{
    zim::tevo::TEVORecordPlan self;
    self.kind = zim::tevo::TEVORecordPlan::Init;
    self.name = "SELF";
    self.address = 0x300;
    zim::tevo::TEVOExecutablePlan plan;
    plan.sections = {loadable("SELF", {self, dataAt(0x310, 1, 0x77)})};
    for (const bool laidOutFirst : {false, true}) {
        auto module = std::shared_ptr<zim::tevo::TEVOModule>(readStream(zim::tevo::writeTEVOExecutable(plan)));
        if (laidOutFirst)
            module->findSection("SELF")->layout();
        zim::tevo::TEVOLoadFile file(module);
        EXPECT_EQ(cuts(file.sections().primarySections), (std::vector<Cut>{{"SELF", 0x310, 1}})) << laidOutFirst;
        EXPECT_EQ(module->findSection("SELF")->start(), 0x310u) << laidOutFirst;
    }
}

TEST_F(LoadFileTest, BadRecordsFailWithTheirMessage)
{
    zim::tevo::TEVOExecutablePlan shortInsn;
    zim::tevo::TEVORecordPlan insn = insnAt(0x4400, "ab");
    insn.code = 0x20000;
    shortInsn.sections = {loadable("CODE", {insn})};
    EXPECT_EQ(messageOf([&] { open(shortInsn)->sections(); }),
              "bad object file: instruction at 0x4400 has 2 of its 8 bytes");

    zim::tevo::TEVOExecutablePlan noAddress;
    noAddress.sections = {loadable("CODE", {dataAt(0xFFFFFFFF, 2, 1)})};
    EXPECT_EQ(messageOf([&] { open(noAddress)->sections(); }),
              "bad object file: record without an address in section CODE");

    zim::tevo::TEVOExecutablePlan wraps;
    wraps.sections = {loadable("CODE", {dataAt(0xFFFFFFFE, 4, 1)})};
    EXPECT_EQ(messageOf([&] { open(wraps)->sections(); }),
              "bad object file: 4 bytes at 0xfffffffe pass the end of the address space");

    zim::tevo::TEVORecordPlan huge;
    huge.kind = zim::tevo::TEVORecordPlan::Fill;
    huge.address = 0;
    huge.count = 0xFFFFFFFF;
    zim::tevo::TEVOExecutablePlan tooBig;
    tooBig.sections = {loadable("CODE", {huge})};
    EXPECT_EQ(messageOf([&] { open(tooBig)->sections(); }), "bad object file: load sections larger than 16 MB");

    // Every record is sized before any is copied: the limit outranks a bad record before it,
    // and a bad record before a section with INIT records is still the one reported.
    zim::tevo::TEVOExecutablePlan badThenTooBig;
    badThenTooBig.sections = {loadable("CODE", {insn}), loadable("FILL", {huge})};
    EXPECT_EQ(messageOf([&] { open(badThenTooBig)->sections(); }), "bad object file: load sections larger than 16 MB");
    zim::tevo::TEVORecordPlan copy;
    copy.kind = zim::tevo::TEVORecordPlan::Init;
    copy.name = "CODE";
    copy.address = 0xF000;
    zim::tevo::TEVOExecutablePlan badThenInit;
    badThenInit.sections = {loadable("CODE", {insn}), loadable("CONST", {copy})};
    EXPECT_EQ(messageOf([&] { open(badThenInit)->sections(); }),
              "bad object file: instruction at 0x4400 has 2 of its 8 bytes");
}

// Load sections keep their bytes when the buffer they are cut into grows past its first size.
TEST_F(LoadFileTest, SectionsCutBeforeTheBufferGrowsKeepTheirBytes)
{
    zim::tevo::TEVORecordPlan fill;
    fill.kind = zim::tevo::TEVORecordPlan::Fill;
    fill.address = 0x10000;
    fill.count = 200 * 1024;
    fill.value = 0x5A;
    zim::tevo::TEVOExecutablePlan plan;
    plan.sections = {loadable("HEAD", {dataAt(0x200, 2, 0x1234), dataAt(0x300, 1, 0x56)}),
                     loadable("BULK", {fill, dataAt(0x50000, 4, 0x89ABCDEF)})};
    auto file = open(plan);
    const auto &list = file->sections().primarySections;
    ASSERT_EQ(cuts(list), (std::vector<Cut>{{"HEAD", 0x200, 2}, {"HEAD", 0x300, 1}, {"BULK", 0x10000, 200 * 1024},
                                            {"BULK", 0x50000, 4}}));
    EXPECT_EQ(QByteArray(reinterpret_cast<const char *>(list[0]->data()), 2), QByteArray("\x34\x12"));
    EXPECT_EQ(list[1]->data()[0], 0x56);
    EXPECT_EQ(list[2]->data()[0], 0x5A);
    EXPECT_EQ(list[2]->data()[200 * 1024 - 1], 0x5A);
    EXPECT_EQ(QByteArray(reinterpret_cast<const char *>(list[3]->data()), 4), QByteArray("\xEF\xCD\xAB\x89"));
}

// A data record whose expression has an error fails as a bad object file, saying where the
// record is; a symbol name is quoted as it is, even one that looks like a format.
TEST_F(LoadFileTest, ExpressionErrorsFailWithTheirRecordsPlace)
{
    auto dataOf = [](const std::function<void(zim::tevo::TEVOWriter &)> &expression) {
        return moduleStream([&](zim::tevo::TEVOWriter &w) {
            w.string("CODE");
            w.op(zim::tevo::TEVOOpcode::MKSECTION);
            w.op(zim::tevo::TEVOOpcode::SECTION);
            w.constant(zim::tevo::TEVOSection::loadableFlag);
            w.op(zim::tevo::TEVOOpcode::SETFLAGS);
            w.constant(0x200);
            w.op(zim::tevo::TEVOOpcode::SETPC);
            w.constant(1);
            w.constant(2);
            w.op(zim::tevo::TEVOOpcode::DEFBYTES);
            w.constant(0x4402);
            w.op(zim::tevo::TEVOOpcode::SETPC);
            expression(w);
            w.constant(2);
            w.op(zim::tevo::TEVOOpcode::DEFBYTES);
        });
    };
    const QByteArray circular = dataOf([](zim::tevo::TEVOWriter &w) {
        w.string("self");
        w.op(zim::tevo::TEVOOpcode::MKSYMBOL);
        w.op(zim::tevo::TEVOOpcode::DUP);
        w.op(zim::tevo::TEVOOpcode::DUP);
        w.op(zim::tevo::TEVOOpcode::SYMBOLVAL);
        w.constant(1);
        w.op(zim::tevo::TEVOOpcode::ADD);
        w.op(zim::tevo::TEVOOpcode::SYMBOLDEF);
        w.op(zim::tevo::TEVOOpcode::SYMBOLVAL);
    });
    zim::tevo::TEVOLoadFile file(write(circular), m_cache);
    EXPECT_EQ(messageOf([&] { file.sections(); }), "bad object file: circular reference to self at 0x4402 in section CODE");

    const QByteArray undefined = dataOf([](zim::tevo::TEVOWriter &w) {
        w.string("%1 at %2");
        w.op(zim::tevo::TEVOOpcode::MKSYMBOL);
        w.op(zim::tevo::TEVOOpcode::SYMBOLVAL);
    });
    EXPECT_EQ(messageOf([&] { TEVOLoadFile(write(undefined, QStringLiteral("undefined.hzx")), m_cache).sections(); }),
              "bad object file: undefined symbol %1 at %2 at 0x4402 in section CODE");
}

TEST_F(LoadFileTest, MissingFileCannotBeAccessed)
{
    const QString path = m_dir.filePath("absent.hzx");
    EXPECT_EQ(messageOf([&] { zim::tevo::TEVOLoadFile(path, m_cache); }), "Can't access " + path);
}

TEST_F(LoadFileTest, CacheReadsAnUnchangedFileOnce)
{
    zim::tevo::TEVOExecutablePlan plan;
    plan.sections = {loadable("CODE", run(0x4400, 2))};
    const QString path = write(zim::tevo::writeTEVOExecutable(plan));
    zim::tevo::TEVOLoadFile first(path, m_cache);
    zim::tevo::TEVOLoadFile second(path, m_cache);
    EXPECT_EQ(m_cache.readCount(), 1);
    EXPECT_EQ(first.objectModule(), second.objectModule());

    // A changed file is read again; the first load file keeps its own module.
    plan.sections = {loadable("CODE", run(0x4400, 4))};
    QFile f(path);
    const QByteArray changed = zim::tevo::writeTEVOExecutable(plan);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write(changed) == changed.size());
    f.setFileTime(QFileInfo(path).lastModified().addSecs(5), QFileDevice::FileModificationTime);
    f.close();
    zim::tevo::TEVOLoadFile third(path, m_cache);
    EXPECT_EQ(m_cache.readCount(), 2);
    EXPECT_EQ(cuts(third.sections().primarySections), (std::vector<Cut>{{"CODE", 0x4400, 4}}));
    EXPECT_EQ(cuts(first.sections().primarySections), (std::vector<Cut>{{"CODE", 0x4400, 2}}));

    // A file that turns bad fails and leaves the cached module in place.
    ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write("\x1E", 1) == 1);
    f.setFileTime(QFileInfo(path).lastModified().addSecs(10), QFileDevice::FileModificationTime);
    f.close();
    EXPECT_EQ(messageOf([&] { zim::tevo::TEVOLoadFile(path, m_cache); }), "bad object file: unknown tag");
}

} // namespace
} // namespace zim::tevo
