// DownloadPlan: every memory call of a download, verify or read-back, worked out by a pure
// function from the sections, the memories' descriptions and the options, so that plans are
// compared as data and one executor runs them on any target.
#pragma once

#include "loadfile/loadfilesection.h"
#include "target/memorydescription.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// Which phases a plan holds.
namespace zim::target {

struct DownloadOptions
{
    bool program = false;  // erase and program (off with -nodownload)
    bool verify = false;   // compare with the sections (off with -noverify)
    bool readBack = false; // read every section back
    bool eraseAll = false; // erase each erasable memory whole instead of by segment

    bool operator==(const DownloadOptions &) const = default;
};

// One memory space as the planner sees it: space 0 is the main memory with the primary
// sections, space 1 the second memory with the secondary sections. The sections belong to the
// caller and must outlive any plan made from them.
struct PlanSpace
{
    int space = 0;
    const loadfile::LoadFileSectionList *sections = nullptr;
    MemoryDescription memory;
};

// One call of a block operation: programBytes, fillBytes, verifyBytes or readBackBytes.
struct PlanBlock
{
    uint32_t address = 0;
    uint32_t count = 0;
    uint32_t offset = 0; // of the block's first byte within its section
    bool last = false;   // programBytes only: the block completes the space's total

    bool operator==(const PlanBlock &) const = default;
};

// The blocks of one section, in address order.
struct SectionBlocks
{
    size_t section = 0;    // index in the space's section list
    bool zeroFill = false; // the section carries no bytes: filled, and compared, with zeros
    std::vector<PlanBlock> blocks;

    bool operator==(const SectionBlocks &) const = default;
};

// One step of a segment erase over count bytes of a section from address on.
struct EraseStep
{
    uint32_t address = 0;
    uint32_t count = 0;
    bool erase = false;   // eraseRange(address, count) is called; false: already cleared
    AddressRange cleared; // the cleared range that holds the bytes; for a call, what the memory must report

    bool operator==(const EraseStep &) const = default;
};

enum class EraseMode {
    None,     // nothing to erase: not erasable, no bytes, or no programming
    Segments, // eraseSteps between beginErase and endErase
    Whole,    // one eraseAll
};

struct SpacePlan
{
    int space = 0;
    uint32_t total = 0; // bytes of the space's sections: the progress total of every phase
    EraseMode erase = EraseMode::None;
    std::vector<EraseStep> eraseSteps;
    std::vector<SectionBlocks> program;
    std::vector<SectionBlocks> verify;
    std::vector<SectionBlocks> readBack;

    bool operator==(const SpacePlan &) const = default;
};

struct DownloadPlan
{
    DownloadOptions options;
    std::vector<SpacePlan> spaces; // in the order given to the planner

    bool operator==(const DownloadPlan &) const = default;
};

// Erasing (by segment, each segment once, or whole), programming cut by maxWriteBlock (sections
// without bytes by maxFillBlock), verifying cut by maxVerifyBlock and reading back cut by
// maxReadBlock, as the options ask.
DownloadPlan planDownload(const std::vector<PlanSpace> &spaces, const DownloadOptions &options);

// Throws HException "The 0x%08X - 0x%08X load section does not fit the target description."
// for the first section (of space 0, then 1) that no single range of its memory map holds.
void checkSpacesFit(const std::vector<PlanSpace> &spaces);

} // namespace zim::target
