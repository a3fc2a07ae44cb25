// The download, verify and upload procedures against a memory-backed target: the order and
// arguments of the memory calls and the signals they emit.
#include "fakes/faketarget.h"
#include "loadfile/loadfileinterface.h"
#include "target/download.h"
#include "target/downloadplan.h"
#include "target/erasedrangeset.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using testing::ElementsAre;
using testing::HasSubstr;

namespace {

// The log lines that start with prefix, in order.
QStringList linesStartingWith(const QStringList &log, const QString &prefix)
{
    QStringList lines;
    for (const QString &line : log)
        if (line.startsWith(prefix))
            lines.append(line);
    return lines;
}

std::vector<std::string> toStd(const QStringList &list)
{
    std::vector<std::string> out;
    for (const QString &s : list)
        out.push_back(s.toStdString());
    return out;
}

TEST(Download, SectionsSharingASegmentAreErasedOnce)
{
    FakeTarget target;
    target.main.segmentSize = 512;
    FakeLoadFile file;
    file.add(0, "a", 0x1100, 16);
    file.add(0, "b", 0x1180, 32);
    target.logSignals();
    target.download(file, QStringLiteral("/some/dir/app.hex"), true);

    EXPECT_THAT(toStd(linesStartingWith(target.log, QStringLiteral("main.eraseRange"))),
                ElementsAre("main.eraseRange 1100 16"));
    // The erase progress counts every byte of both sections.
    EXPECT_THAT(toStd(target.log.mid(0, 7)),
                ElementsAre("beginLoad",
                            "beginGroup Downloading \u201Capp.hex\u201D to Fake Target 100",
                            "progress 0 48 Erasing bytes", "main.beginErase", "main.eraseRange 1100 16",
                            "progress 16 -1 - -", "progress 48 -1 - -"));
    EXPECT_TRUE(target.log.contains(QStringLiteral("main.endErase")));
}

TEST(Download, SegmentsAreVisitedOnceEachAcrossASpanningSection)
{
    FakeTarget target;
    target.main.segmentSize = 512;
    FakeLoadFile file;
    file.add(0, "a", 0xF000, 0x300);
    file.add(0, "b", 0xF300, 0x200);
    target.download(file, QStringLiteral("app.hex"), false);
    EXPECT_THAT(toStd(linesStartingWith(target.log, QStringLiteral("main.eraseRange"))),
                ElementsAre("main.eraseRange f000 512", "main.eraseRange f200 256", "main.eraseRange f400 256"));
}

TEST(Download, EraseAllIsCalledOncePerErasableSpace)
{
    FakeTarget target(nullptr, true);
    target.setLoaderEraseAll(true);
    FakeLoadFile file;
    file.add(0, "a", 0x1100, 100);
    file.add(0, "b", 0x2000, 100);
    file.add(1, "c", 0x1000, 10);
    target.logSignals();
    target.download(file, QStringLiteral("app.hex"), false);

    EXPECT_THAT(toStd(linesStartingWith(target.log, QStringLiteral("main.erase"))), ElementsAre("main.eraseAll"));
    EXPECT_THAT(toStd(linesStartingWith(target.log, QStringLiteral("second.erase"))),
                ElementsAre("second.eraseAll"));
    EXPECT_TRUE(target.log.contains(QStringLiteral("progress 0 200 Erasing entire FLASH memory -")));
    EXPECT_TRUE(target.log.contains(QStringLiteral("progress 0 10 Erasing entire EEPROM memory -")));
}

TEST(Download, BlocksFollowTheWriteLimitWithLastOnlyOnTheFinalBlockOfTheSpace)
{
    FakeTarget target;
    target.main.writeLimit = 256;
    FakeLoadFile file;
    file.add(0, "first", 0x1000, 100);
    file.add(0, "second", 0x2000, 1000);
    target.download(file, QStringLiteral("app.hex"), false);
    EXPECT_THAT(toStd(linesStartingWith(target.log, QStringLiteral("main.program"))),
                ElementsAre("main.programBytes 1000 100", "main.programBytes 2000 256", "main.programBytes 2100 256",
                            "main.programBytes 2200 256", "main.programBytes 2300 232 last"));
    EXPECT_EQ(target.main.bytes.at(0x2000 + 999), uint8_t(999));
}

TEST(Download, TheOrderIsEraseThenProgramPerSpaceAndRamIsNotErased)
{
    FakeTarget target(nullptr, true);
    target.main.segmentSize = 512;
    target.second->segmentSize = 128;
    FakeLoadFile file;
    file.add(0, "text", 0x1100, 4);
    file.add(1, "", 0x1000, 2);
    target.download(file, QStringLiteral("app.hex"), false);
    EXPECT_THAT(toStd(linesStartingWith(target.log, QStringLiteral("main."))
                      + linesStartingWith(target.log, QStringLiteral("second."))),
                ElementsAre("main.beginErase", "main.eraseRange 1100 4", "main.endErase",
                            "main.programBytes 1100 4 last", "second.beginErase", "second.eraseRange 1000 2",
                            "second.endErase", "second.programBytes 1000 2 last"));
    const int mainProgram = target.log.indexOf(QStringLiteral("main.programBytes 1100 4 last"));
    const int secondErase = target.log.indexOf(QStringLiteral("second.beginErase"));
    EXPECT_LT(mainProgram, secondErase);

    FakeTarget ram(nullptr, false, false);
    FakeLoadFile small;
    small.add(0, "data", 0x200, 8);
    ram.download(small, QStringLiteral("r.hex"), false);
    EXPECT_THAT(toStd(linesStartingWith(ram.log, QStringLiteral("main."))),
                ElementsAre("main.programBytes 200 8 last"));
}

TEST(Download, PrimaryOnlyFileLeavesTheSecondMemoryUntouched)
{
    FakeTarget target(nullptr, true);
    FakeLoadFile file;
    file.add(0, "a", 0x1100, 8);
    target.download(file, QStringLiteral("app.hex"), false);
    EXPECT_TRUE(linesStartingWith(target.log, QStringLiteral("second.")).isEmpty());
}

TEST(Download, ZeroFilledSectionsAreFilledInFillBlocks)
{
    FakeTarget target;
    target.main.fillLimit = 64;
    FakeLoadFile file;
    file.add(0, "bss", 0x200, 100, 0, true);
    target.main.bytes[0x210] = 0x55;
    target.download(file, QStringLiteral("app.hex"), false);
    EXPECT_THAT(toStd(linesStartingWith(target.log, QStringLiteral("main.fill"))),
                ElementsAre("main.fillBytes 200 64 0", "main.fillBytes 240 36 0"));
    EXPECT_EQ(target.main.bytes.at(0x210), 0);
    EXPECT_TRUE(target.verify(file, QStringLiteral("app.hex")));
}

TEST(Download, SectionMessagesNameSizeAndAddresses)
{
    FakeTarget target;
    FakeLoadFile file;
    file.add(0, ".text", 0x1100, 1536);
    file.add(0, "", 0xFFFE, 2);
    target.logSignals();
    target.download(file, QStringLiteral("app.hex"), false);
    EXPECT_TRUE(target.log.contains(QStringLiteral("message Programming 1.5 KB of .text addresses 1100 \u2014 16ff")));
    EXPECT_TRUE(target.log.contains(QStringLiteral("message Programming 2 bytes of addresses fffe \u2014 ffff")));
}

TEST(Download, EmptyLoadFileStillCompletes)
{
    FakeTarget target;
    FakeLoadFile file;
    target.logSignals();
    target.download(file, QStringLiteral("empty.hex"), true);
    EXPECT_THAT(toStd(target.log),
                ElementsAre("beginLoad", "beginGroup Downloading \u201Cempty.hex\u201D to Fake Target 100",
                            "endGroup ", "message Download complete 100", "endLoad"));
}

TEST(Download, EraseFailureEndsTheEraseAndTheLoad)
{
    FakeTarget target;
    target.main.segmentSize = 512;
    target.main.failAt = 0x1200;
    FakeLoadFile file;
    file.add(0, "a", 0x1100, 0x200);
    target.logSignals();
    EXPECT_THAT([&] { target.download(file, QStringLiteral("app.hex"), false); },
                testing::ThrowsMessage<HException>(HasSubstr("write failed at 0x1200")));
    EXPECT_THAT(toStd(target.log.mid(target.log.indexOf(QStringLiteral("main.eraseRange 1100 512")))),
                ElementsAre("main.eraseRange 1100 512", "main.endErase", "endLoad", "endGroup ",
                            "message Download failed 104"));
}

TEST(Download, ProgramFailureReportsDownloadFailed)
{
    FakeTarget target;
    target.main.failAt = 0x1104;
    FakeLoadFile file;
    file.add(0, "a", 0x1100, 8);
    target.logSignals();
    EXPECT_THROW(target.download(file, QStringLiteral("app.hex"), false), HException);
    EXPECT_THAT(toStd(target.log.mid(target.log.size() - 3)),
                ElementsAre("endLoad", "endGroup ", "message Download failed 104"));
}

struct FitCase
{
    uint32_t address;
    uint32_t size;
    const char *error; // nullptr: fits
};

// Printed by its fields: the raw bytes would include padding.
void PrintTo(const FitCase &c, std::ostream *os)
{
    *os << std::hex << c.address << "+" << c.size;
}

class SectionFit : public testing::TestWithParam<FitCase> {};

TEST_P(SectionFit, AgainstTwoRanges)
{
    FakeTarget target;
    target.main.addMemoryRange(0x0200, 0x09FF);
    target.main.addMemoryRange(0x1100, 0xFFFF);
    FakeLoadFile file;
    file.add(0, "s", GetParam().address, GetParam().size);
    if (!GetParam().error) {
        EXPECT_NO_THROW(target.checkSectionsFit(file));
        return;
    }
    EXPECT_THAT([&] { target.checkSectionsFit(file); },
                testing::ThrowsMessage<HException>(testing::StrEq(GetParam().error)));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SectionFit,
    testing::Values(FitCase{0xFF00, 0x100, nullptr}, FitCase{0x0200, 0x800, nullptr},
                    FitCase{0xFF00, 0x101, "The 0x0000FF00 - 0x00010000 load section does not fit the target "
                                           "description."},
                    // Straddles the gap between two ranges: each end is mapped, but not by one range.
                    FitCase{0x09F0, 0x800, "The 0x000009F0 - 0x000011EF load section does not fit the target "
                                           "description."},
                    FitCase{0x1000, 0x10, "The 0x00001000 - 0x0000100F load section does not fit the target "
                                          "description."}));

TEST(Download, FitFailureHappensBeforeAnyErase)
{
    FakeTarget target;
    target.main.segmentSize = 512;
    target.main.addMemoryRange(0x1100, 0xFFFF);
    FakeLoadFile file;
    file.add(0, "s", 0xFFF0, 0x20);
    target.logSignals();
    EXPECT_THROW(target.download(file, QStringLiteral("app.hex"), true), HException);
    EXPECT_THAT(toStd(target.log), ElementsAre("beginLoad", "endLoad", "endGroup ", "message Download failed 104"));
}

TEST(Verify, MismatchInTheFirstSectionStopsBeforeTheSecond)
{
    FakeTarget target;
    FakeLoadFile file;
    file.add(0, "a", 0x1100, 16, 1);
    file.add(0, "b", 0x2000, 16, 1);
    target.download(file, QStringLiteral("app.hex"), false);
    target.main.bytes[0x1105] ^= 0xFF;
    target.log.clear();
    target.logSignals();
    EXPECT_FALSE(target.verify(file, QStringLiteral("app.hex")));
    EXPECT_THAT(toStd(target.log),
                ElementsAre("beginLoad", "beginGroup Verifying \u201Capp.hex\u201D on Fake Target 100",
                            "progress 0 32 Verifying bytes", "message Verifying 16 bytes of a addresses 1100 \u2014 110f",
                            "main.verifyBytes 1100 16", "progress 32 -1 - -", "endGroup ",
                            "message Verify failed 104", "endLoad"));
}

TEST(Verify, ComparesInVerifyBlocksAndSucceeds)
{
    FakeTarget target(nullptr, true);
    target.main.verifyLimit = 1024;
    FakeLoadFile file;
    file.add(0, "a", 0x1100, 3000);
    file.add(1, "b", 0x1000, 4);
    target.download(file, QStringLiteral("app.hex"), false);
    target.log.clear();
    EXPECT_TRUE(target.verify(file, QStringLiteral("app.hex")));
    EXPECT_THAT(toStd(linesStartingWith(target.log, QStringLiteral("main.verify"))
                      + linesStartingWith(target.log, QStringLiteral("second.verify"))),
                ElementsAre("main.verifyBytes 1100 1024", "main.verifyBytes 1500 1024", "main.verifyBytes 1900 952",
                            "second.verifyBytes 1000 4"));
}

TEST(Upload, ReadsBackEachSectionInReadBlocks)
{
    FakeTarget target;
    target.main.readLimit = 100;
    FakeLoadFile file;
    file.add(0, "a", 0x1100, 250, 7);
    target.download(file, QStringLiteral("app.hex"), false);
    target.log.clear();
    target.logSignals();
    std::unique_ptr<LoadFileInterface> back = target.upload(file, QStringLiteral("/tmp/out.hex"));
    EXPECT_THAT(toStd(target.log),
                ElementsAre("beginLoad", "beginGroup Uploading \u201Cout.hex\u201D from Fake Target 100",
                            "progress 0 250 Uploading bytes", "message uploading section a: size 0xfa, addr 0x1100",
                            "main.readBackBytes 1100 100", "progress 100 -1 - -", "main.readBackBytes 1164 100",
                            "progress 200 -1 - -", "main.readBackBytes 11c8 50", "progress 250 -1 - -", "endGroup ",
                            "message Upload complete 100", "endLoad"));
    ASSERT_EQ(back->sections().primarySections.size(), 1u);
    const LoadFileSectionInterface &s = *back->sections().primarySections[0];
    EXPECT_EQ(s.address(), 0x1100u);
    ASSERT_EQ(s.size(), 250u);
    EXPECT_TRUE(std::equal(s.data(), s.data() + 250, file.sections().primarySections[0]->data()));
}

struct CutCase
{
    uint32_t size;
    int limit;
    std::vector<uint32_t> blocks;
};

// Printed by its fields: the raw bytes would include padding.
void PrintTo(const CutCase &c, std::ostream *os)
{
    *os << c.size << "/" << c.limit;
}

class CutBlocks : public testing::TestWithParam<CutCase> {};

TEST_P(CutBlocks, ByTheLimit)
{
    EXPECT_EQ(cutBlocks(GetParam().size, GetParam().limit), GetParam().blocks);
}

INSTANTIATE_TEST_SUITE_P(Cases, CutBlocks,
                         testing::Values(CutCase{1000, 256, {256, 256, 256, 232}}, CutCase{1000, -1, {1000}},
                                         CutCase{512, 256, {256, 256}}, CutCase{0, 256, {}}, CutCase{1, 0, {1}},
                                         CutCase{3000, 1024, {1024, 1024, 952}}));

TEST(ProgrammingPlan, WholeLayoutWithAZeroFilledSectionLast)
{
    FakeLoadFile file;
    file.add(0, "text", 0x1100, 300);
    file.add(0, "data", 0x2000, 10);
    file.add(0, "bss", 0x0200, 70, 0, true);
    const LoadFileSectionList &sections = file.sections().primarySections;
    const std::vector<SectionPlan> plan = planProgramming(sections, 128, 64);
    ASSERT_EQ(plan.size(), 3u);
    const uint8_t *text = sections[0]->data();
    EXPECT_THAT(plan[0].blocks, ElementsAre(ProgramBlock{0x1100, 128, text, false},
                                            ProgramBlock{0x1180, 128, text + 128, false},
                                            ProgramBlock{0x1200, 44, text + 256, false}));
    // The space ends with zeros, which are filled, so no write carries last.
    EXPECT_THAT(plan[1].blocks, ElementsAre(ProgramBlock{0x2000, 10, sections[1]->data(), false}));
    EXPECT_THAT(plan[2].blocks, ElementsAre(ProgramBlock{0x0200, 64, nullptr, false},
                                            ProgramBlock{0x0240, 6, nullptr, false}));
}

TEST(ErasedRanges, FindsTheRangeHoldingAnAddress)
{
    ErasedRangeSet set;
    EXPECT_FALSE(set.find(0x1000));
    set.add({0x1000, 0x11FF});
    set.add({0x1400, 0x15FF});
    EXPECT_EQ(set.find(0x1000), (AddressRange{0x1000, 0x11FF}));
    EXPECT_EQ(set.find(0x11FF), (AddressRange{0x1000, 0x11FF}));
    EXPECT_FALSE(set.find(0x1200));
    EXPECT_FALSE(set.find(0x0FFF));
    EXPECT_EQ(set.find(0x15FF), (AddressRange{0x1400, 0x15FF}));
    set.clear();
    EXPECT_FALSE(set.find(0x1000));
}

} // namespace
