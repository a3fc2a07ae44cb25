// The download, verify and upload procedures against a memory-backed target: the order and
// arguments of the memory calls and the signals they emit.
#include "fakes/faketarget.h"
#include "loadfile/loadfileinterface.h"
#include "target/download.h"
#include "target/loadedranges.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using testing::ElementsAre;

namespace {

// The log lines that start with one of the prefixes (all of them for none), in order.
std::vector<std::string> lines(const QStringList &log, std::initializer_list<const char *> prefixes = {""})
{
    std::vector<std::string> out;
    for (const QString &line : log)
        if (std::any_of(prefixes.begin(), prefixes.end(), [&](const char *p) { return line.startsWith(QLatin1String(p)); }))
            out.push_back(line.toStdString());
    return out;
}

TEST(Download, SectionsSharingASegmentAreErasedOnce)
{
    FakeTarget target;
    target.main.segmentSize = 512;
    FakeLoadFile file;
    file.add(0, "a", 0x1100, 16);
    file.add(0, "b", 0x1180, 32);
    file.add(0, "c", 0xF000, 0x300);
    target.download(file, QStringLiteral("app.hex"), false);
    // A section spanning segments erases each of them once.
    EXPECT_THAT(lines(target.log, {"main.eraseRange"}),
                ElementsAre("main.eraseRange 1100 16", "main.eraseRange f000 512", "main.eraseRange f200 256"));
}

TEST(Download, EraseAllIsCalledOncePerErasableSpace)
{
    FakeTarget target(nullptr, true);
    target.setLoaderEraseAll(true);
    FakeLoadFile file;
    file.add(0, "a", 0x1100, 100);
    file.add(0, "b", 0x2000, 100);
    file.add(1, "c", 0x1000, 10);
    target.download(file, QStringLiteral("app.hex"), false);
    EXPECT_THAT(lines(target.log, {"main.erase"}), ElementsAre("main.eraseAll"));
    EXPECT_THAT(lines(target.log, {"second.erase"}), ElementsAre("second.eraseAll"));
}

TEST(Download, BlocksFollowTheWriteLimitWithLastOnlyOnTheFinalBlockOfTheSpace)
{
    FakeTarget target;
    target.main.writeLimit = 256;
    FakeLoadFile file;
    file.add(0, "first", 0x1000, 100);
    file.add(0, "second", 0x2000, 1000);
    target.download(file, QStringLiteral("app.hex"), false);
    EXPECT_THAT(lines(target.log, {"main.program"}),
                ElementsAre("main.programBytes 1000 100", "main.programBytes 2000 256", "main.programBytes 2100 256",
                            "main.programBytes 2200 256", "main.programBytes 2300 232 last"));
    EXPECT_EQ(target.main.bytes.at(0x2000 + 999), uint8_t(999));
}

TEST(Download, EachSpaceIsErasedThenProgrammedBeforeTheNext)
{
    FakeTarget target(nullptr, true);
    target.main.segmentSize = 512;
    FakeLoadFile file;
    file.add(0, "text", 0x1100, 4);
    file.add(1, "", 0x1000, 2);
    target.download(file, QStringLiteral("app.hex"), false);
    EXPECT_THAT(lines(target.log, {"main.", "second."}),
                ElementsAre("main.beginErase", "main.eraseRange 1100 4", "main.endErase",
                            "main.programBytes 1100 4 last", "second.beginErase", "second.eraseRange 1000 2",
                            "second.endErase", "second.programBytes 1000 2 last"));
}

TEST(Download, EmptyLoadFileStillCompletes)
{
    FakeTarget target;
    FakeLoadFile file;
    target.logSignals();
    target.download(file, QStringLiteral("empty.hex"), true);
    EXPECT_THAT(lines(target.log),
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
                testing::ThrowsMessage<zim::common::HException>(testing::HasSubstr("write failed at 0x1200")));
    EXPECT_THAT(lines(target.log.mid(target.log.indexOf(QStringLiteral("main.eraseRange 1100 512")))),
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
    EXPECT_THROW(target.download(file, QStringLiteral("app.hex"), false), zim::common::HException);
    EXPECT_THAT(lines(target.log.mid(target.log.size() - 3)),
                ElementsAre("endLoad", "endGroup ", "message Download failed 104"));
}

TEST(Download, SectionsWithoutBytesAreFilledAndComparedWithZeros)
{
    FakeTarget target;
    target.main.fillLimit = 256;
    target.main.bytes[0x0300] = 0x55;
    FakeLoadFile file;
    file.addFill(0, "bss", 0x0200, 300);
    target.download(file, QStringLiteral("app.hex"), false);
    EXPECT_THAT(lines(target.log, {"main.fill", "main.program"}),
                ElementsAre("main.fillBytes 200 256", "main.fillBytes 300 44"));
    EXPECT_EQ(target.main.bytes.at(0x0300), 0);
    EXPECT_TRUE(target.verify(file, QStringLiteral("app.hex")));
}

TEST(Download, AnEraseThatClearsLessThanItsSegmentsFails)
{
    FakeTarget target;
    target.main.segmentSize = 512;
    target.main.reportsSegments = false;
    FakeLoadFile file;
    file.add(0, "a", 0x1100, 16);
    file.add(0, "b", 0x1180, 16);
    target.logSignals();
    // Skipping b's erase relies on a's erase clearing its whole segment.
    EXPECT_THAT([&] { target.download(file, QStringLiteral("app.hex"), false); },
                testing::ThrowsMessage<zim::common::HException>(testing::StrEq(
                    "erasing 16 bytes at 0x00001100 cleared 0x00001100 - 0x0000110F, not all of 0x00001000 - 0x000011FF")));
    EXPECT_THAT(lines(target.log, {"main.", "message"}),
                ElementsAre("main.beginErase", "main.eraseRange 1100 16", "main.endErase", "message Download failed 104"));
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
                testing::ThrowsMessage<zim::common::HException>(testing::StrEq(GetParam().error)));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SectionFit,
    testing::Values(FitCase{0xFF00, 0x100, nullptr},
                    FitCase{0xFF00, 0x101, "The 0x0000FF00 - 0x00010000 load section does not fit the target "
                                           "description."},
                    // Straddles the gap between two ranges: each end is mapped, but not by one range.
                    FitCase{0x09F0, 0x800, "The 0x000009F0 - 0x000011EF load section does not fit the target "
                                           "description."}));

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
    EXPECT_THAT(lines(target.log, {"main."}), ElementsAre("main.verifyBytes 1100 16"));
    EXPECT_EQ(target.log.at(target.log.size() - 2), QStringLiteral("message Verify failed 104"));
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
    EXPECT_THAT(lines(target.log, {"main.verify", "second.verify"}),
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
    std::unique_ptr<zim::loadfile::LoadFileInterface> back = target.upload(file, QStringLiteral("out.hex"));
    EXPECT_THAT(lines(target.log, {"main."}),
                ElementsAre("main.readBackBytes 1100 100", "main.readBackBytes 1164 100", "main.readBackBytes 11c8 50"));
    ASSERT_EQ(back->sections().primarySections.size(), 1u);
    const zim::loadfile::LoadFileSectionInterface &s = *back->sections().primarySections[0];
    EXPECT_EQ(s.address(), 0x1100u);
    ASSERT_EQ(s.size(), 250u);
    EXPECT_TRUE(std::equal(s.data(), s.data() + 250, file.sections().primarySections[0]->data()));
}

TEST(Upload, SeveralFilesAreReadBackOnceOverTheUnionOfTheirRanges)
{
    FakeTarget target(nullptr, true);
    FakeLoadFile first;
    first.add(0, "text", 0x1100, 0x40, 1);
    first.add(1, "info", 0x1000, 8, 9);
    FakeLoadFile second;
    second.add(0, "patch", 0x1120, 0x40, 100);
    second.add(0, "table", 0x1160, 0x10, 200);
    zim::target::LoadedRanges ranges;
    for (FakeLoadFile *file : {&first, &second}) {
        target.download(*file, QStringLiteral("app.hex"), false);
        ranges.add(*file);
    }
    target.log.clear();

    std::unique_ptr<zim::target::UploadedLoadFile> back = zim::target::uploadRanges(target, ranges, QStringLiteral("out.hex"));
    EXPECT_THAT(lines(target.log, {"main.", "second."}),
                ElementsAre("main.readBackBytes 1100 96", "main.readBackBytes 1160 16", "second.readBackBytes 1000 8"));
    // What was read is the final memory, so it verifies where the earlier file was overwritten.
    EXPECT_TRUE(target.verify(*back, QStringLiteral("out.hex")));
    EXPECT_EQ(back->sections().primarySections[0]->data()[0x20], 100);
}

} // namespace
