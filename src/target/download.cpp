// The download, verify and upload procedures: the load bracket, then a plan of the memory
// calls, then one executor that runs it.
#include "target/download.h"

#include "loadfile/loadfileinterface.h"
#include "target/downloadexecutor.h"
#include "target/downloadplan.h"
#include "target/loadbracket.h"
#include "target/loadedranges.h"
#include "target/targetinterface.h"
#include "target/uploadedloadfile.h"

#include <vector>

namespace zim::target {

namespace {

// The spaces that have a memory interface, space 0 first, over the given section lists.
std::vector<PlanSpace> spacesOf(TargetInterface &target, const loadfile::LoadFileSectionList &primary,
                                const loadfile::LoadFileSectionList &secondary)
{
    std::vector<PlanSpace> spaces;
    if (TargetMemoryInterface *memory = target.mainMemory())
        spaces.push_back({0, &primary, MemoryDescription::of(*memory)});
    if (TargetMemoryInterface *memory = target.secondMemory())
        spaces.push_back({1, &secondary, MemoryDescription::of(*memory)});
    return spaces;
}

// Reads the file's sections (throwing when they cannot be read).
std::vector<PlanSpace> spacesOf(TargetInterface &target, loadfile::LoadFileInterface &file)
{
    loadfile::LoadFileSections &sections = file.sections();
    return spacesOf(target, sections.primarySections, sections.secondarySections);
}

std::unique_ptr<UploadedLoadFile> readBack(TargetInterface &target, const loadfile::LoadFileSectionList &primary,
                                           const loadfile::LoadFileSectionList &secondary)
{
    const std::vector<PlanSpace> spaces = spacesOf(target, primary, secondary);
    DownloadOptions options;
    options.readBack = true;
    return DownloadExecutor(target, spaces).readBack(planDownload(spaces, options));
}

} // namespace

void downloadFile(TargetInterface &target, loadfile::LoadFileInterface &file, const QString &fileName, bool check)
{
    LoadBracket load(target, LoadBracket::Download);
    if (!target.canDownload())
        return load.abandon();
    if (check)
        checkFileFits(target, file);
    load.openGroup(fileName);
    const std::vector<PlanSpace> spaces = spacesOf(target, file);
    DownloadOptions options;
    options.program = true;
    options.eraseAll = target.eraseAllBeforeDownload();
    DownloadExecutor(target, spaces).program(planDownload(spaces, options));
    load.complete();
}

bool verifyFile(TargetInterface &target, loadfile::LoadFileInterface &file, const QString &fileName)
{
    LoadBracket load(target, LoadBracket::Verify);
    load.openGroup(fileName);
    const std::vector<PlanSpace> spaces = spacesOf(target, file);
    DownloadOptions options;
    options.verify = true;
    const bool result = DownloadExecutor(target, spaces).verify(planDownload(spaces, options));
    load.complete(result);
    return result;
}

std::unique_ptr<UploadedLoadFile> uploadFile(TargetInterface &target, loadfile::LoadFileInterface &file, const QString &fileName)
{
    LoadBracket load(target, LoadBracket::Upload);
    load.openGroup(fileName);
    loadfile::LoadFileSections &sections = file.sections();
    std::unique_ptr<UploadedLoadFile> result =
        readBack(target, sections.primarySections, sections.secondarySections);
    if (file.hasStartAddress())
        result->setStartAddress(file.startAddress());
    load.complete();
    return result;
}

std::unique_ptr<UploadedLoadFile> uploadRanges(TargetInterface &target, const LoadedRanges &ranges, const QString &fileName)
{
    LoadBracket load(target, LoadBracket::Upload);
    load.openGroup(fileName);
    std::unique_ptr<UploadedLoadFile> result = readBack(target, ranges.sections(0), ranges.sections(1));
    if (ranges.hasStartAddress())
        result->setStartAddress(ranges.startAddress());
    load.complete();
    return result;
}

void checkFileFits(TargetInterface &target, loadfile::LoadFileInterface &file)
{
    checkSpacesFit(spacesOf(target, file));
}

} // namespace zim::target
